#pragma once

namespace fw {

// Stand-in for the framework's asynchronous socket: the host calls OnReceive on
// the GUI thread when data is ready (see Host::Post).
class AsyncSocket {
public:
    virtual ~AsyncSocket() = default;
    virtual void OnReceive(int errorCode) { (void)errorCode; }
    virtual void OnClose(int errorCode) { (void)errorCode; }
};

}  // namespace fw
