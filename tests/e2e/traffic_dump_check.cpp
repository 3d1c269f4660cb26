// Reads a traffic dump back and checks it: the keys, the run's road count, frames and frame time,
// every table [road][lane slot][vehicle] of the right sizes, values inside the ranges the traffic
// keeps, and each number written in the shortest form that reads back to it.
// Usage: traffic_dump_check FILE ROADS FRAMES STEP-SECONDS; prints the problems, exit 1 if any.
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct Value {
    enum class Kind { Null, Number, Array, Object } kind = Kind::Null;
    std::string text; // a number as written
    double number = 0;
    std::vector<Value> items;
    std::vector<std::pair<std::string, Value>> members;
};

class Reader {
  public:
    explicit Reader(std::string text) : s(std::move(text)) {}
    Value document() {
        Value v = value();
        space();
        if (i != s.size()) fail("text after the document");
        return v;
    }

  private:
    [[noreturn]] void fail(const std::string& what) {
        throw std::runtime_error(what + " at byte " + std::to_string(i));
    }
    void space() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\r' || s[i] == '\t'))
            ++i;
    }
    void expect(char c) {
        space();
        if (i >= s.size() || s[i] != c) fail(std::string("expected '") + c + "'");
        ++i;
    }
    Value value() {
        space();
        if (i >= s.size()) fail("unexpected end");
        Value v;
        if (s[i] == '[') {
            v.kind = Value::Kind::Array;
            ++i;
            space();
            if (s[i] == ']') return ++i, v;
            for (;;) {
                v.items.push_back(value());
                space();
                if (s[i] == ']') return ++i, v;
                expect(',');
            }
        }
        if (s[i] == '{') {
            v.kind = Value::Kind::Object;
            ++i;
            for (;;) {
                expect('"');
                const std::size_t end = s.find('"', i);
                if (end == std::string::npos) fail("unterminated key");
                std::string key = s.substr(i, end - i);
                i = end + 1;
                expect(':');
                v.members.emplace_back(key, value());
                space();
                if (s[i] == '}') return ++i, v;
                expect(',');
            }
        }
        if (s.compare(i, 4, "null") == 0) return i += 4, v;
        std::size_t end = i;
        while (end < s.size() && std::string_view("+-.0123456789eE").find(s[end]) != std::string_view::npos)
            ++end;
        if (end == i) fail("unexpected character");
        v.kind = Value::Kind::Number;
        v.text = s.substr(i, end - i);
        const auto r = std::from_chars(s.data() + i, s.data() + end, v.number);
        if (r.ec != std::errc() || r.ptr != s.data() + end) fail("bad number " + v.text);
        i = end;
        return v;
    }

    std::string s;
    std::size_t i = 0;
};

int problems = 0;
void problem(const std::string& what) {
    if (++problems <= 20) std::cout << "dump: " << what << "\n";
}

// The shortest text of the value, as a float or a double.
template <typename T> std::string shortest(T value) {
    char buf[40];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, r.ptr);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::cerr << "usage: traffic_dump_check FILE ROADS FRAMES STEP-SECONDS\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::stringstream buf;
    buf << in.rdbuf();
    const long roads = std::atol(argv[2]), frames = std::atol(argv[3]);
    const double step = std::atof(argv[4]);

    Value doc;
    try {
        doc = Reader(buf.str()).document();
    } catch (const std::exception& e) {
        std::cout << "dump: not readable: " << e.what() << "\n";
        return 1;
    }
    if (doc.kind != Value::Kind::Object) {
        std::cout << "dump: not an object\n";
        return 1;
    }
    const std::vector<std::string> keys = {"RoadCount", "frames",          "LastFrameTime",
                                           "VehLane",   "VehDist",         "VehSpeed",
                                           "VehOffset", "VehTargetOffset", "VehSideStep"};
    std::map<std::string, const Value*> by_key;
    for (std::size_t k = 0; k < doc.members.size(); ++k) {
        if (k >= keys.size() || doc.members[k].first != keys[k])
            problem("member " + std::to_string(k) + " is '" + doc.members[k].first + "'");
        by_key[doc.members[k].first] = &doc.members[k].second;
    }
    for (const auto& k : keys)
        if (!by_key.count(k)) problem("no " + k);
    if (problems) return 1;

    if (by_key["RoadCount"]->text != std::to_string(roads)) problem("RoadCount " + by_key["RoadCount"]->text);
    if (by_key["frames"]->text != std::to_string(frames)) problem("frames " + by_key["frames"]->text);
    // The clock gives the step as a 32-bit float, near the step but not always the nearest float.
    const Value& last = *by_key["LastFrameTime"];
    if (std::fabs(last.number - step) > 1e-6 * step || last.text != shortest(static_cast<float>(last.number)))
        problem("LastFrameTime " + last.text);

    // cell(table, r, m, n) after the shapes were checked.
    auto shaped = [&](const std::string& name) {
        const Value& t = *by_key[name];
        bool ok = t.kind == Value::Kind::Array && static_cast<long>(t.items.size()) == roads;
        for (const Value& road : t.items) {
            ok = ok && road.kind == Value::Kind::Array && road.items.size() == 3;
            for (const Value& lane : road.items) {
                ok = ok && lane.kind == Value::Kind::Array && lane.items.size() == 20;
                for (const Value& cell : lane.items) {
                    ok = ok && cell.kind == Value::Kind::Number;
                    if (ok && name != "VehDist" && cell.text != shortest(static_cast<long long>(cell.number)))
                        problem(name + ": not a whole number: " + cell.text);
                    if (ok && name == "VehDist" && cell.text != shortest(cell.number))
                        problem(name + ": not in shortest form: " + cell.text);
                }
            }
        }
        if (!ok) problem(name + ": not " + std::to_string(roads) + " x 3 x 20 numbers");
        return ok;
    };
    bool all_shaped = true;
    for (std::size_t k = 3; k < keys.size(); ++k)
        all_shaped = shaped(keys[k]) && all_shaped;
    if (!all_shaped) return 1;

    auto cell = [&](const char* name, long r, int m, int n) {
        return by_key[name]
            ->items[static_cast<std::size_t>(r)]
            .items[static_cast<std::size_t>(m)]
            .items[static_cast<std::size_t>(n)]
            .number;
    };
    // Farthest start (the slow vehicle) plus the most any vehicle can travel in the run.
    const double max_dist = (3000.0 + 1400.0 * 21) * 3.0 + 120.0 * 36.0 * static_cast<double>(frames) * step;
    for (long r = 0; r < roads; ++r) {
        for (int m = 0; m < 3; ++m) {
            for (int n = 0; n < 20; ++n) {
                const std::string at =
                    "(" + std::to_string(m) + ", " + std::to_string(n) + ", " + std::to_string(r) + ")";
                const double lane = cell("VehLane", r, m, n), speed = cell("VehSpeed", r, m, n);
                const double dist = cell("VehDist", r, m, n), offset = cell("VehOffset", r, m, n);
                const double target = cell("VehTargetOffset", r, m, n), side = cell("VehSideStep", r, m, n);
                if (lane != 0 && lane != 1 && lane != 2) problem("lane " + at);
                if (n < 19 ? (speed < 70 || speed > 120) : (speed < 70 || speed > 79)) problem("speed " + at);
                if (!(dist >= 0 && dist <= max_dist)) problem("distance " + at);
                if (offset < 0 || offset > 50) problem("offset " + at);
                if (target != 25 * lane) problem("target offset " + at);
                if (side != -1 && side != 0 && side != 1) problem("side step " + at);
                // Sliding exactly while not yet at the target, towards it and less than a lane away.
                const double left = (target - offset) * side;
                if (side == 0 ? offset != target : (left < 1 || left > 24)) problem("slide " + at);
            }
        }
    }
    if (problems) return 1;
    std::cout << "dump: " << roads << " road(s), " << frames << " frames: sizes and ranges fine\n";
    return 0;
}
