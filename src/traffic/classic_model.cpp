// The program's own traffic behind the model front; its tables, and so its digests, are those of the
// free functions it forwards to.
#include "traffic/dump.h"
#include "traffic/idm_model.h"
#include "traffic/model.h"

namespace kl {

namespace {

class ClassicTraffic final : public TrafficModel {
  public:
    explicit ClassicTraffic(bool plain) : Plain(plain) {}

    TrafficModelKind kind() const override { return TrafficModelKind::Classic; }

    void set_up(TrafficTables& Tables, std::int32_t RoadCount, std::int32_t BuildingCount,
                UniformSource& Random, VehiclePlacementSink& Sink) override {
        set_up_traffic(Tables, RoadCount, BuildingCount, Random, Sink);
    }

    void step(TrafficTables& Tables, const TrafficFrame& Frame, VehiclePlacementSink& Sink) override {
        if (Plain)
            step_traffic_plain(Tables, Frame, Sink);
        else
            step_traffic(Tables, Frame, Sink);
    }

    // The dump keeps the form it has always had, without a model name.
    void dump(std::ostream& out, const TrafficTables& Tables, std::int32_t RoadCount, std::int64_t frames,
              float LastFrameTime) const override {
        write_traffic_dump(out, Tables, RoadCount, frames, LastFrameTime);
    }

  private:
    const bool Plain;
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
