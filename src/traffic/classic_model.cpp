// The program's own traffic behind the model front; its tables, and so its digests, are those of the
// free functions it forwards to, and its vehicles are read out of them.
#include "traffic/dump.h"
#include "traffic/idm_model.h"
#include "traffic/model.h"

namespace kl {

namespace {

class ClassicTraffic final : public TrafficModel {
  public:
    explicit ClassicTraffic(bool plain) : Plain(plain) {}

    TrafficModelKind kind() const override { return TrafficModelKind::Classic; }

    void set_up(std::int32_t RoadCount, UniformSource& Random, VehicleList& Vehicles) override {
        set_up_traffic(*Tables, RoadCount, Random);
        list_table_vehicles(*Tables, RoadCount, Vehicles);
    }

    void step(const TrafficFrame& Frame, VehicleList& Vehicles) override {
        if (Plain)
            step_traffic_plain(*Tables, Frame);
        else
            step_traffic(*Tables, Frame);
        list_table_vehicles(*Tables, Frame.RoadCount, Vehicles);
    }

    const TrafficTables& tables() const override { return *Tables; }

    // The dump keeps the form it has always had, without a model name.
    void dump(std::ostream& out, std::int32_t RoadCount, std::int64_t frames,
              float LastFrameTime) const override {
        write_traffic_dump(out, *Tables, RoadCount, frames, LastFrameTime);
    }

  private:
    const bool Plain;
    // About 2 MB: on the heap.
    std::unique_ptr<TrafficTables> Tables = std::make_unique<TrafficTables>();
};

} // namespace

std::unique_ptr<TrafficModel> make_classic_traffic(bool plain) {
    return std::make_unique<ClassicTraffic>(plain);
}

const char* traffic_model_name(TrafficModelKind kind) {
    return kind == TrafficModelKind::Idm ? "idm" : "classic";
}

std::optional<TrafficModelKind> traffic_model_named(std::string_view name) {
    if (name == "classic") return TrafficModelKind::Classic;
    if (name == "idm") return TrafficModelKind::Idm;
    return std::nullopt;
}

std::unique_ptr<TrafficModel> make_traffic_model(TrafficModelKind kind, bool plain, const IdmParameters* live,
                                                 const VehicleLengths& lengths) {
    if (kind == TrafficModelKind::Idm) return std::make_unique<IdmTraffic>(live, lengths);
    return make_classic_traffic(plain);
}

} // namespace kl
