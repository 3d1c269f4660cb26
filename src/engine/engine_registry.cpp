// The registry of engine-managed resources: stored before a device reset and rebuilt after it, in
// registration order, each step at most once.
#include "engine/cls3d_engine.h"
#include "fault/fault.h"

#include <algorithm>

namespace kl {

namespace {

[[noreturn]] void not_provided(const char* operation) {
    throw Fault(std::string(operation) + " is not provided by this resource");
}

} // namespace

EngineResource::~EngineResource() {
    // Copy first: forgetting changes the list.
    const std::vector<cls3dEngine*> engines = RegisteredWith;
    for (cls3dEngine* engine : engines)
        engine->ForgetObject(this);
}

void EngineResource::StoreData() {
    not_provided("StoreData");
}
void EngineResource::Cleanup() {
    not_provided("Cleanup");
}
void EngineResource::ReleaseMesh() {
    not_provided("ReleaseMesh");
}
void EngineResource::ReStoreData() {
    not_provided("ReStoreData");
}
void EngineResource::RestoreFont() {
    not_provided("RestoreFont");
}
bool EngineResource::GetDynamicUsage() {
    not_provided("GetDynamicUsage");
}

// Registering twice gives two entries.
void cls3dEngine::RegisterObject(EngineResource* pObj, std::int32_t pObjType) {
    if (pObj == nullptr) return;
    Registry.push_back({pObj, pObjType});
    if (std::find(pObj->RegisteredWith.begin(), pObj->RegisteredWith.end(), this) ==
        pObj->RegisteredWith.end())
        pObj->RegisteredWith.push_back(this);
}

// Only the first entry of the object goes. The entry is removed before the texture is unbound, so a
// failing unbind, which reaches the caller, never leaves a reference to an object on its way out.
void cls3dEngine::UnregisterObject(EngineResource* pObj) {
    const auto it = std::find_if(Registry.begin(), Registry.end(),
                                 [pObj](const RegistryEntry& e) { return e.pObj == pObj; });
    if (it == Registry.end()) return;
    const std::int32_t type = it->pObjType;
    Registry.erase(it);
    if (std::none_of(Registry.begin(), Registry.end(),
                     [pObj](const RegistryEntry& e) { return e.pObj == pObj; }))
        std::erase(pObj->RegisteredWith, this);
    if (D3DDevice && (type == ObjTypeTexture || type == ObjTypeMesh)) {
        const platform::Status s = D3DDevice->SetTexture(0, nullptr);
        if (platform::Failed(s)) throw Fault("Unbinding the texture of an unregistered object failed");
    }
}

void cls3dEngine::ForgetObject(EngineResource* pObj) noexcept {
    std::erase_if(Registry, [pObj](const RegistryEntry& e) { return e.pObj == pObj; });
    std::erase(pObj->RegisteredWith, this);
}

// Indexing rather than iterators: an object's operation may unregister objects.
void cls3dEngine::CleanupObjects() {
    if (ObjectsStored) return;
    for (std::size_t i = 0; i < Registry.size(); ++i) {
        EngineResource* obj = Registry[i].pObj;
        switch (Registry[i].pObjType) {
        case ObjTypeTexture:
            obj->StoreData();
            obj->Cleanup();
            break;
        case ObjTypeText:
            obj->Cleanup();
            break;
        case ObjTypeMesh:
            obj->StoreData();
            obj->ReleaseMesh();
            break;
        case ObjTypePolygons:
            obj->StoreData();
            // Dynamic buffers live in memory the reset does not take away.
            if (!obj->GetDynamicUsage()) obj->Cleanup();
            break;
        default:
            break;
        }
    }
    ObjectsStored = true;
}

void cls3dEngine::RestoreObjects() {
    if (!ObjectsStored) return;
    for (std::size_t i = 0; i < Registry.size(); ++i) {
        EngineResource* obj = Registry[i].pObj;
        switch (Registry[i].pObjType) {
        case ObjTypeTexture:
        case ObjTypeMesh:
        case ObjTypePolygons:
            obj->ReStoreData();
            break;
        case ObjTypeText:
            obj->RestoreFont();
            break;
        default:
            break;
        }
    }
    ObjectsStored = false;
}

} // namespace kl
