#include "framework/DateTime.h"

namespace fw {

bool DateTime::IsLeapYear(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DateTime::DaysInMonth(int year, int month) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

int DateTime::SetDateTime(int year, int month, int day, int hour, int minute, int second) {
    const bool ok = year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
                    day <= DaysInMonth(year, month) && hour >= 0 && hour <= 23 && minute >= 0 &&
                    minute <= 59 && second >= 0 && second <= 59;
    if (!ok) {
        *this = DateTime();
        m_Status = Status::Invalid;
        return 1;
    }
    m_Status = Status::Valid;
    m_Year = year;
    m_Month = month;
    m_Day = day;
    m_Hour = hour;
    m_Minute = minute;
    m_Second = second;
    return 0;
}

}  // namespace fw
