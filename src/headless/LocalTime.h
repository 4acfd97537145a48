#pragma once
// localTime: the calendar of a moment in the local time zone and that zone's
// offset from UTC then, the system's part of the record times, in a file per
// system (HeadlessRecordFormatPosix.cpp on localtime_r). Pure apart from
// reading the zone; any thread.

#include <ctime>

namespace lanternwick {

struct LocalTime {
    std::tm calendar{};
    // East of UTC is positive.
    long utcOffsetSeconds = 0;
};

LocalTime localTime(std::time_t seconds);

}  // namespace lanternwick
