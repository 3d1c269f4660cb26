// std::to_chars without a precision gives the shortest text that reads back exactly, whatever the
// process locale.
#include "traffic/dump.h"

#include "traffic/statistics.h"

#include <charconv>
#include <cmath>
#include <string>
#include <type_traits>

namespace kl {

namespace {

template <typename T> void put_number(std::string& out, T value) {
    if constexpr (std::is_floating_point_v<T>) {
        if (!std::isfinite(value)) {
            out += "null";
            return;
        }
    }
    char buf[40];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    out.append(buf, result.ptr);
}

template <typename T>
void put_table(std::string& out, const char* name, const VehicleTable<T>& table, std::int32_t roads) {
    out += ",\n\"";
    out += name;
    out += "\": [";
    for (std::int32_t r = 0; r < roads; ++r) {
        out += r == 0 ? "\n [" : ",\n [";
        const auto& road = table.road(static_cast<std::size_t>(r));
        for (int m = 0; m < 3; ++m) {
            out += m == 0 ? "[" : ", [";
            for (int n = 0; n <= TrafficTables::LastCar; ++n) {
                if (n > 0) out += ", ";
                put_number(out, road[m][n]);
            }
            out += "]";
        }
        out += "]";
    }
    out += roads > 0 ? "\n]" : "]";
}

} // namespace

void put_vehicle_values(std::string& out, const char* name, std::int32_t RoadCount,
                        const std::function<double(int r, int m, int n)>& value) {
    const std::int32_t roads = roads_in_tables(RoadCount);
    out += ",\n\"";
    out += name;
    out += "\": [";
    for (std::int32_t r = 0; r < roads; ++r) {
        out += r == 0 ? "\n [" : ",\n [";
        for (int m = 0; m < 3; ++m) {
            out += m == 0 ? "[" : ", [";
            for (int n = 0; n <= TrafficTables::LastCar; ++n) {
                if (n > 0) out += ", ";
                put_number(out, value(r, m, n));
            }
            out += "]";
        }
        out += "]";
    }
    out += roads > 0 ? "\n]" : "]";
}

void write_traffic_dump(std::ostream& out, const TrafficTables& Tables, std::int32_t RoadCount,
                        std::int64_t frames, float LastFrameTime, const char* model, std::string_view more) {
    const std::int32_t roads = roads_in_tables(RoadCount);
    std::string text = "{";
    if (model) {
        text += "\"model\": \"";
        text += model;
        text += "\", ";
    }
    text += "\"RoadCount\": ";
    put_number(text, RoadCount);
    text += ", \"frames\": ";
    put_number(text, frames);
    text += ", \"LastFrameTime\": ";
    put_number(text, LastFrameTime);
    put_table(text, "VehLane", Tables.VehLane, roads);
    put_table(text, "VehDist", Tables.VehDist, roads);
    put_table(text, "VehSpeed", Tables.VehSpeed, roads);
    put_table(text, "VehOffset", Tables.VehOffset, roads);
    put_table(text, "VehTargetOffset", Tables.VehTargetOffset, roads);
    put_table(text, "VehSideStep", Tables.VehSideStep, roads);
    text += more;
    text += "}\n";
    out << text;
}

} // namespace kl
