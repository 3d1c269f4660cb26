// What an engine-managed resource (editable texture, text, mesh, polygon buffer) offers the engine's
// registry so that it can survive a device reset, and how long the registry may refer to it.
#pragma once

#include <cstdint>
#include <vector>

namespace kl {

class cls3dEngine;

// Registry type codes; they decide which operations the engine calls around a reset.
enum EngineObjectType : std::int32_t {
    ObjTypeTexture = 0,  // StoreData, Cleanup | ReStoreData
    ObjTypeText = 1,     // Cleanup | RestoreFont
    ObjTypeMesh = 2,     // StoreData, ReleaseMesh | ReStoreData
    ObjTypePolygons = 3, // StoreData, Cleanup unless GetDynamicUsage | ReStoreData
};

// The store-and-restore protocol. A class overrides the operations its type code uses; the others
// raise kl::Fault, so that an object registered under the wrong code fails loudly instead of losing
// its data. Every operation reports failure by raising kl::Fault; the engine stops its loop there.
// StoreData and Cleanup must cope with being called twice: a reset that fails half way through
// starts the store step again from the first object.
//
// Lifetime contract: the registry only refers to its objects and never owns them. An object
// registers with the current engine when it is created and calls UnregisterObject(this) when it is
// destroyed (catching kl::Fault, as destructors must). Whatever entries are still left when this
// base part is destroyed are dropped silently, and an engine that goes first tells its objects, so
// the engine never calls a destroyed object and an object never calls a destroyed engine.
class EngineResource {
  public:
    EngineResource() = default;
    EngineResource(const EngineResource&) = delete;
    EngineResource& operator=(const EngineResource&) = delete;
    virtual ~EngineResource();

    virtual void StoreData();
    virtual void Cleanup();
    virtual void ReleaseMesh();
    virtual void ReStoreData();
    virtual void RestoreFont();
    virtual bool GetDynamicUsage();

  private:
    friend class cls3dEngine;
    // The engines holding at least one entry for this object.
    std::vector<cls3dEngine*> RegisteredWith;
};

} // namespace kl
