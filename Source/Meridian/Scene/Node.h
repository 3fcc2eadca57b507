// Scene graph: the node classes that hold the tree together.
//
// Node        leaf base: a parent (plain pointer, the parent's child list holds
//             the counted reference) and an enabled flag (a disabled node and
//             everything under it is skipped by the draw traversal).
// Group       ordered children, each held by a counted reference. A node is in
//             at most one group; always re-parent through Node::SetParent.
// Container   a plain ordered collection of engine objects (not re-parented).
// InterfaceGroup  a 2D overlay drawn after the 3D scene, with an orthographic
//             projection centred on the screen (y up).
#pragma once

#include <vector>

#include "Math/Matrix4.h"
#include "Memory/Object.h"

namespace Meridian {

class Group;
class Transform;

class Node : public Object {
    MERIDIAN_TAGGED_CLASS(Node, Object, Tags::Node)

    Node() : m_Parent(nullptr), m_Enabled(1) {}
    ~Node() override {}

    // Moves the node under group (null detaches it). The node is kept alive
    // across the move; detaching a node nobody else holds destroys it.
    void SetParent(Group* group);
    Group* GetParent() const { return m_Parent; }
    // The nearest Transform above this node (starting at the parent), or null.
    Transform* GetParentTransform() const;

    void SetEnabled(I32 enabled) { m_Enabled = enabled; }
    I32 GetEnabled() const { return m_Enabled; }
    bool IsEnabled() const { return m_Enabled != 0; }

private:
    friend class Group;
    Group* m_Parent;
    I32 m_Enabled;
};

class Group : public Node {
    MERIDIAN_TAGGED_CLASS(Group, Node, Tags::Group)

    Group() {}
    ~Group() override;

    U32 GetChildCount() const { return static_cast<U32>(m_Children.size()); }
    Node* GetChild(U32 index) const { return index < m_Children.size() ? m_Children[index].Get() : nullptr; }

    // Used through Node::SetParent only, which keeps the parent field in step.
    void AddChild(Node* node);
    void RemoveChild(Node* node);

private:
    std::vector<Ref<Node>> m_Children;
};

class Container : public Node {
    MERIDIAN_TAGGED_CLASS(Container, Node, Tags::Container)

    void Add(Object* object) { m_Items.push_back(Ref<Object>(object)); }
    Object* Get(U32 index) const { return index < m_Items.size() ? m_Items[index].Get() : nullptr; }
    U32 GetCount() const { return static_cast<U32>(m_Items.size()); }

private:
    std::vector<Ref<Object>> m_Items;
};

class InterfaceGroup : public Group {
    MERIDIAN_TAGGED_CLASS(InterfaceGroup, Group, Tags::InterfaceGroup)

    InterfaceGroup();
    // Size in interface units (one unit is one pixel of the 320 x 240 screen).
    void SetSize(Fixed width, Fixed height);
    Fixed GetWidth() const { return m_Width; }
    Fixed GetHeight() const { return m_Height; }
    const Matrix4& GetProjection() const { return m_Projection; }

private:
    Fixed m_Width;
    Fixed m_Height;
    Matrix4 m_Projection;
};

}  // namespace Meridian
