// The traffic tables written out as JSON, every number in the shortest form that reads back to the
// same value.
#pragma once

#include "traffic/tables.h"

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace kl {

// {"RoadCount": R, "frames": N, "LastFrameTime": t, "VehLane": [...], ...}: each table nested
// [road][lane slot][vehicle] over the roads the tables hold (at most 251) and vehicles 0 to LastCar.
// `more`, when not empty, is written as further members after the tables (", \"name\": ...").
// A distance or time that is not finite, which JSON cannot carry, is written as null. A model name,
// when given, comes first as "model"; the program's own traffic gives none.
void write_traffic_dump(std::ostream& out, const TrafficTables& Tables, std::int32_t RoadCount,
                        std::int64_t frames, float LastFrameTime, const char* model = nullptr,
                        std::string_view more = {});

// The same nesting for a value of the caller's per vehicle, as a member of that name: for the
// `more` of write_traffic_dump.
void put_vehicle_values(std::string& out, const char* name, std::int32_t RoadCount,
                        const std::function<double(int r, int m, int n)>& value);

} // namespace kl
