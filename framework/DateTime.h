#pragma once

namespace fw {

// The framework's date-time value: a calendar date and a time of day that is
// either valid or marked invalid. SetDateTime range-checks every component
// (years 100 to 9999, real days of the month in the Gregorian calendar, hours
// 0-23, minutes and seconds 0-59); a value out of range makes the whole value
// invalid, the way the framework's own does. A fresh value is valid and holds
// the framework's zero date, 30 December 1899 00:00:00.
class DateTime {
public:
    enum class Status { Valid, Invalid };

    DateTime() = default;
    DateTime(int year, int month, int day, int hour, int minute, int second) {
        SetDateTime(year, month, day, hour, minute, second);
    }

    // 0 when set, 1 when a component was out of range (the value is then invalid).
    int SetDateTime(int year, int month, int day, int hour, int minute, int second);

    Status GetStatus() const { return m_Status; }
    bool IsValid() const { return m_Status == Status::Valid; }
    int GetYear() const { return m_Year; }
    int GetMonth() const { return m_Month; }
    int GetDay() const { return m_Day; }
    int GetHour() const { return m_Hour; }
    int GetMinute() const { return m_Minute; }
    int GetSecond() const { return m_Second; }

    static bool IsLeapYear(int year);
    static int DaysInMonth(int year, int month);

    friend bool operator==(const DateTime&, const DateTime&) = default;

private:
    Status m_Status = Status::Valid;
    int m_Year = 1899, m_Month = 12, m_Day = 30;
    int m_Hour = 0, m_Minute = 0, m_Second = 0;
};

}  // namespace fw
