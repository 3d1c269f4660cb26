#include "scene/street.h"

#include "platform/d3dx/xfile/xfile_reader.h"
#include "resources/cls3d_object.h"
#include "scene/guarded.h"
#include "sim/data_files.h"
#include "sim/kl_object.h"
#include "sim/mdl_kl.h"

#include <algorithm>
#include <cmath>

namespace kl::scene {

std::optional<std::int32_t> VehicleObject(std::int32_t BuildingCount, std::int32_t RoadCount,
                                          const Vehicle& v) {
    if (v.Id < 0 || v.Id >= ObjectsPerRoad) return std::nullopt;
    const long long k = vehicle_object_index(BuildingCount, RoadCount, v.Id, v.Road);
    if (k < 0 || k > LastObjectIndex) return std::nullopt;
    return static_cast<std::int32_t>(k);
}

std::int32_t road_under(double x, std::int32_t roads) {
    if (roads <= 0) return -1;
    // The strips are 14 wide, 20 apart from x = 51.85: halfway across the gap is the border.
    const double r = std::floor((x - 51.85 + 3.0) / 20.0);
    if (!(r > 0)) return 0;
    return r >= roads ? roads - 1 : static_cast<std::int32_t>(r);
}

Vec3 VehicleSimPosition(const Vehicle& v) {
    return {static_cast<float>((54 + 20 * v.Road) + v.Across), static_cast<float>(50.0 + v.Position),
            VehicleHeight};
}

Matrix4 Street::World(const VehicleModel& model, const Vec3& at) {
    return model.Model->WorldMatrixAt(KlObject::EnginePosition(at));
}

void DrawVehicleAlone(const Street& street, const Vehicle& v) {
    const VehicleModel* model = street.ModelOf(v);
    if (model == nullptr) return;
    cls3dObject& mesh = *model->Model;
    const Vec3 was = mesh.Position();
    mesh.Position(KlObject::EnginePosition(VehicleSimPosition(v)));
    resume_past_fault([&] { mesh.Render(); });
    mesh.Position(was);
}

void PlaceVehicleObjects(mdlKl::ProgramState& program, const VehicleList& vehicles, std::int32_t RoadCount) {
    for (const Vehicle& v : vehicles.all()) {
        const std::optional<std::int32_t> k = VehicleObject(program.BuildingCount, RoadCount, v);
        if (!k) continue;
        const Vec3 p = VehicleSimPosition(v);
        resume_past_fault([&] { program.ObjectAt(*k).MOVEobj(p.x, p.y, p.z); });
    }
}

// The length of each vehicle model as loaded, along the road (the model's x axis); a model that could
// not be loaded or measured keeps the generator's length, which the car-following model falls back on.
VehicleLengths measured_vehicle_lengths(const Street& street) {
    VehicleLengths lengths;
    for (int m = 0; m < 3; ++m) {
        for (const bool slow : {false, true}) {
            const VehicleModel& model = street.Models[slow ? slow_vehicle_kind(m) : car_kind(m)];
            if (!model.HasBox || !(model.High.x - model.Low.x > 0.5)) continue;
            (slow ? lengths.Slow : lengths.Car)[m] = model.High.x - model.Low.x;
        }
    }
    return lengths;
}

const char* VehicleModelFile(std::uint8_t kind) {
    static const char* const kFiles[VehicleKinds] = {"206.x",    "CLASS_A.x", "CLIO_II.x",
                                                     "DUCATO.x", "TRANSIT.x", "CHRYSLER.x"};
    return kFiles[kind % VehicleKinds];
}

// The box is the one cls3dObject::MeshBounds finds in the loaded model, whose vertices are the file's
// positions as read: the same floats, so the same lengths to the last bit.
void TakeVehicleBoxesFromFiles(Street& street) {
    for (std::uint8_t kind = 0; kind < VehicleKinds; ++kind) {
        VehicleModel& model = street.Models[kind];
        model = {};
        const platform::XFileResult read = platform::ReadXFileFromPath(DataFilePath(VehicleModelFile(kind)));
        if (!read.mesh || read.mesh->positions.empty()) continue;
        const auto& positions = read.mesh->positions;
        float lo[3] = {positions[0].x, positions[0].y, positions[0].z}, hi[3] = {lo[0], lo[1], lo[2]};
        bool finite = true;
        for (const platform::Float3& p : positions) {
            const float c[3] = {p.x, p.y, p.z};
            for (int i = 0; i < 3; ++i) {
                finite = finite && std::isfinite(c[i]);
                lo[i] = std::min(lo[i], c[i]);
                hi[i] = std::max(hi[i], c[i]);
            }
        }
        if (!finite) continue;
        model.HasBox = true;
        model.Low = {lo[0], lo[1], lo[2]};
        model.High = {hi[0], hi[1], hi[2]};
    }
}

} // namespace kl::scene
