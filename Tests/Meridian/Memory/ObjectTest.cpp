#include <gtest/gtest.h>

#include "Memory/Object.h"
#include "Scene/Camera.h"
#include "Scene/Drawable.h"
#include "Scene/Light.h"
#include "Scene/Transform.h"

using namespace Meridian;

namespace {

int g_Destroyed = 0;

class Counted : public Object {
    MERIDIAN_CLASS(Counted, Object)
    ~Counted() override { ++g_Destroyed; }
};

class Holder : public Object {
    MERIDIAN_CLASS(Holder, Object)
    Ref<Counted> m_Held;
};

}  // namespace

TEST(Object, BlocksNamesArraysAndCounts) {
    g_Destroyed = 0;
    Counted* object = New<Counted>();
    EXPECT_EQ(TypeRecord::FromIndex(HeaderOf(object)->m_Record)->m_TypeSize, static_cast<I32>(sizeof(Counted)));
    object->SetName("Capsule");
    EXPECT_EQ(object->GetName(), "Capsule");
    EXPECT_STREQ(object->GetTypeName(), "Counted");
    TakeRef(object);
    TakeRef(object);
    DropRef(object);
    EXPECT_EQ(g_Destroyed, 0);
    DropRef(object);
    EXPECT_EQ(g_Destroyed, 1);
    DropRef(New<Counted>());  // a never-taken object dies on its first drop
    EXPECT_EQ(g_Destroyed, 2);
    DropRef(nullptr);
    TakeRef(nullptr);
    U8* pixels = NewArray<U8>(300);
    EXPECT_EQ(ArrayCount(pixels), 300u);
    EXPECT_EQ(pixels[299], 0);
    TakeRef(pixels);
    DropRef(pixels);
}

TEST(Object, HoldingFieldsTakeBeforeDrop) {
    g_Destroyed = 0;
    WeakRef<Counted> weak;
    {
        Ref<Holder> holder = New<Holder>();
        Counted* first = New<Counted>();
        holder->m_Held = first;
        holder->m_Held = first;  // own value: must survive
        holder->m_Held = holder->m_Held.Get();
        EXPECT_EQ(g_Destroyed, 0);
        EXPECT_EQ(RefCount(first), 1);
        holder->m_Held = New<Counted>();  // replacing drops the old one
        EXPECT_EQ(g_Destroyed, 1);
        Ref<Counted> copy = holder->m_Held;
        Ref<Counted> moved = std::move(copy);
        EXPECT_EQ(RefCount(moved.Get()), 2);
        EXPECT_FALSE(copy);
        // Weak holders share one cell and add no count.
        weak = moved.Get();
        const WeakRef<Counted> other(moved.Get());
        EXPECT_EQ(RefCount(moved.Get()), 2);
        EXPECT_EQ(weak.Get(), moved.Get());
        EXPECT_EQ(other.Get(), moved.Get());
    }
    EXPECT_EQ(g_Destroyed, 2);  // the holder's destructor dropped the last one
    EXPECT_EQ(weak.Get(), nullptr);
}

TEST(Object, KindTestsAcrossTheTagTable) {
    Ref<Transform> transform = New<Transform>();
    Ref<LookTransform> look = New<LookTransform>();
    Ref<Camera> camera = New<Camera>();
    Ref<InterfaceGroup> overlay = New<InterfaceGroup>();
    Ref<Counted> plain = New<Counted>();
    const Ref<Object> nodes[] = {look, camera, New<Light>(), New<Drawable>()};
    for (Object* node : nodes) {
        EXPECT_TRUE(node->IsKindOf(Tags::Node) && node->IsKindOf(Tags::Object)) << node->GetTypeName();
        EXPECT_FALSE(node->IsKindOf(Tags::Material)) << node->GetTypeName();
    }
    EXPECT_TRUE(look->IsKindOf(Tags::Transform) && look->IsKindOf(Tags::Group));
    EXPECT_FALSE(transform->IsKindOf(Tags::LookTransform));
    EXPECT_TRUE(overlay->IsKindOf(Tags::Group));
    EXPECT_FALSE(overlay->IsKindOf(Tags::Transform));
    EXPECT_FALSE(camera->IsKindOf(Tags::Group));
    // A class without its own tag answers as its nearest base.
    EXPECT_TRUE(plain->IsKindOf(Tags::Object));
    EXPECT_FALSE(plain->IsKindOf(Tags::Node));
    EXPECT_EQ(Cast<Transform>(look.Get()), look.Get());
    EXPECT_EQ(Cast<LookTransform>(transform.Get()), nullptr);
    EXPECT_EQ(Cast<Node>(plain.Get()), nullptr);
    EXPECT_EQ(Cast<Node>(static_cast<Object*>(nullptr)), nullptr);
}

TEST(ObjectDeathTest, AllocatorInvariantsAbort) {
    EXPECT_DEATH(Allocate(sizeof(Counted) + 4, RecordOf<Counted>()), "m_TypeSize");
}
