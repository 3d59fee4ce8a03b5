#pragma once

#include <map>
#include <string>

namespace fw {

// Base of objects that a map holds and that are deleted through it.
class Object {
public:
    virtual ~Object() = default;
};

// A string-to-object map in the manner of the framework's: the map holds
// pointers and never deletes them; whoever fills it walks it and deletes the
// values before removing them. Iteration follows the key order.
class StringToObjectMap {
public:
    explicit StringToObjectMap(int blockSize = 10) : m_BlockSize(blockSize) {}
    StringToObjectMap(const StringToObjectMap&) = delete;
    StringToObjectMap& operator=(const StringToObjectMap&) = delete;

    bool Lookup(const std::string& key, Object*& value) const {
        auto it = m_Map.find(key);
        if (it == m_Map.end()) return false;
        value = it->second;
        return true;
    }
    void SetAt(const std::string& key, Object* value) { m_Map[key] = value; }
    bool RemoveKey(const std::string& key) { return m_Map.erase(key) > 0; }
    void RemoveAll() { m_Map.clear(); }
    int GetCount() const { return static_cast<int>(m_Map.size()); }
    bool IsEmpty() const { return m_Map.empty(); }
    int BlockSize() const { return m_BlockSize; }

    using const_iterator = std::map<std::string, Object*>::const_iterator;
    const_iterator begin() const { return m_Map.begin(); }
    const_iterator end() const { return m_Map.end(); }

private:
    std::map<std::string, Object*> m_Map;
    int m_BlockSize;
};

}  // namespace fw
