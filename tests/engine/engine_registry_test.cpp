// The resource registry: order, the store-and-restore protocol per type code, idempotence, failures
// and the lifetime contract between engine and objects.
#include "support/engine_fixture.h"

namespace kl::test {
namespace {

using gfx::Status;
using Journal = std::vector<std::string>;

using EngineRegistry = EngineTest;

TEST_F(EngineRegistry, StoresAndRestoresEachTypeInRegistrationOrder) {
    JournalResource texture(journal, "texture"), text(journal, "text"), mesh(journal, "mesh");
    JournalResource fixed(journal, "fixed"), dynamic(journal, "dynamic", true), other(journal, "other");
    engine.RegisterObject(&texture, ObjTypeTexture);
    engine.RegisterObject(&text, ObjTypeText);
    engine.RegisterObject(&mesh, ObjTypeMesh);
    engine.RegisterObject(&fixed, ObjTypePolygons);
    engine.RegisterObject(&dynamic, ObjTypePolygons);
    engine.RegisterObject(&other, 4);

    engine.CleanupObjects();
    EXPECT_EQ(journal, (Journal{"texture.StoreData", "texture.Cleanup", "text.Cleanup", "mesh.StoreData",
                                "mesh.ReleaseMesh", "fixed.StoreData", "fixed.GetDynamicUsage",
                                "fixed.Cleanup", "dynamic.StoreData", "dynamic.GetDynamicUsage"}));
    EXPECT_TRUE(engine.ObjectsStored);

    journal.clear();
    engine.RestoreObjects();
    EXPECT_EQ(journal, (Journal{"texture.ReStoreData", "text.RestoreFont", "mesh.ReStoreData",
                                "fixed.ReStoreData", "dynamic.ReStoreData"}));
    EXPECT_FALSE(engine.ObjectsStored);
}

TEST_F(EngineRegistry, EachStepHappensAtMostOnce) {
    engine.CleanupObjects();
    EXPECT_TRUE(engine.ObjectsStored) << "an empty registry only toggles the flag";
    engine.RestoreObjects();
    EXPECT_FALSE(engine.ObjectsStored);

    JournalResource mesh(journal, "mesh");
    engine.RegisterObject(&mesh, ObjTypeMesh);
    engine.RestoreObjects();
    EXPECT_TRUE(journal.empty()) << "nothing to restore without a store first";
    engine.CleanupObjects();
    engine.CleanupObjects();
    EXPECT_EQ(journal.size(), 2u);
    engine.RestoreObjects();
    engine.RestoreObjects();
    EXPECT_EQ(journal.size(), 3u);
}

TEST_F(EngineRegistry, UnregisteringRemovesTheFirstEntryOfThatObjectOnly) {
    JournalResource a(journal, "a"), b(journal, "b"), c(journal, "c"), stranger(journal, "stranger");
    engine.RegisterObject(&a, ObjTypeText);
    engine.RegisterObject(&b, ObjTypeText);
    engine.RegisterObject(&c, ObjTypeText);
    engine.RegisterObject(&b, ObjTypeMesh); // twice gives two entries

    engine.UnregisterObject(&stranger);
    EXPECT_EQ(engine.RegisteredObjects().size(), 4u);
    engine.UnregisterObject(&b);
    const auto& entries = engine.RegisteredObjects();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].pObj, &a);
    EXPECT_EQ(entries[1].pObj, &c);
    EXPECT_EQ(entries[2].pObj, &b);
    EXPECT_EQ(entries[2].pObjType, ObjTypeMesh);
}

TEST_F(EngineRegistry, TexturesAndMeshesUnbindTheStageTextureWhenTheyLeave) {
    JournalResource texture(journal, "texture"), text(journal, "text"), mesh(journal, "mesh"),
        poly(journal, "p");
    engine.RegisterObject(&texture, ObjTypeTexture);
    engine.RegisterObject(&text, ObjTypeText);
    engine.RegisterObject(&mesh, ObjTypeMesh);
    engine.RegisterObject(&poly, ObjTypePolygons);
    engine.UnregisterObject(&texture); // no device yet: nothing to unbind
    ASSERT_TRUE(bring_up());

    std::size_t mark = log().Mark();
    engine.UnregisterObject(&text);
    engine.UnregisterObject(&poly);
    EXPECT_EQ(log().Since(mark).Count("SetTexture"), 0u);
    engine.UnregisterObject(&mesh);
    EXPECT_EQ(log().Since(mark).CountWith("SetTexture", {0, 0}), 1u);
}

TEST_F(EngineRegistry, AFailedUnbindReachesTheCallerButTheEntryIsGone) {
    ASSERT_TRUE(bring_up());
    JournalResource texture(journal, "texture");
    engine.RegisterObject(&texture, ObjTypeTexture);
    control().failing_calls["SetTexture"] = Status::InvalidCall;
    EXPECT_THROW(engine.UnregisterObject(&texture), Fault);
    EXPECT_TRUE(engine.RegisteredObjects().empty());
}

TEST_F(EngineRegistry, AFailingObjectEndsTheLoopAndLeavesTheFlag) {
    JournalResource a(journal, "a"), b(journal, "b"), c(journal, "c");
    engine.RegisterObject(&a, ObjTypeTexture);
    engine.RegisterObject(&b, ObjTypeMesh);
    engine.RegisterObject(&c, ObjTypeText);
    b.fail_on = "ReleaseMesh";
    EXPECT_THROW(engine.CleanupObjects(), Fault);
    EXPECT_FALSE(engine.ObjectsStored);
    EXPECT_EQ(journal, (Journal{"a.StoreData", "a.Cleanup", "b.StoreData", "b.ReleaseMesh"}));

    b.fail_on = "ReStoreData";
    engine.CleanupObjects();
    journal.clear();
    EXPECT_THROW(engine.RestoreObjects(), Fault);
    EXPECT_TRUE(engine.ObjectsStored);
    EXPECT_EQ(journal, (Journal{"a.ReStoreData", "b.ReStoreData"}));
}

TEST_F(EngineRegistry, AnObjectUnderTheWrongTypeCodeFailsLoudly) {
    struct FontOnly : EngineResource {
        void Cleanup() override {}
        void RestoreFont() override {}
    } font;
    engine.RegisterObject(&font, ObjTypeTexture);
    EXPECT_THROW(engine.CleanupObjects(), Fault);
}

TEST_F(EngineRegistry, ADestroyedObjectIsNeverCalled) {
    JournalResource kept(journal, "kept");
    {
        JournalResource gone(journal, "gone");
        engine.RegisterObject(&gone, ObjTypeText);
        engine.RegisterObject(&kept, ObjTypeText);
        engine.RegisterObject(&gone, ObjTypeMesh);
        // Destroyed without unregistering.
    }
    ASSERT_EQ(engine.RegisteredObjects().size(), 1u);
    engine.CleanupObjects();
    EXPECT_EQ(journal, (Journal{"kept.Cleanup"}));
    engine.RegisterObject(nullptr, ObjTypeText);
    EXPECT_EQ(engine.RegisteredObjects().size(), 1u);
}

TEST(EngineRegistryLifetime, ObjectsMayOutliveTheirEngine) {
    Journal journal;
    JournalResource survivor(journal, "survivor");
    {
        cls3dEngine engine;
        EXPECT_EQ(CurrentEngine(), &engine);
        engine.RegisterObject(&survivor, ObjTypeText);
    }
    EXPECT_EQ(CurrentEngine(), nullptr);
    EXPECT_EQ(CurrentDevice(), nullptr);
    cls3dEngine next;
    next.UnregisterObject(&survivor); // not registered here: nothing happens
    EXPECT_TRUE(next.RegisteredObjects().empty());
    EXPECT_TRUE(journal.empty());
    // survivor's destructor must not reach the engine that is gone (checked by the sanitizers).
}

} // namespace
} // namespace kl::test
