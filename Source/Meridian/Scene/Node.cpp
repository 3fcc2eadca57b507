#include "Scene/Node.h"

#include <algorithm>

#include "Scene/Transform.h"

namespace Meridian {

void Node::SetParent(Group* group) {
    if (group == m_Parent) return;
    TakeRef(this);
    if (m_Parent) m_Parent->RemoveChild(this);
    m_Parent = group;
    if (group) group->AddChild(this);
    DropRef(this);
}

Transform* Node::GetParentTransform() const {
    for (Group* group = m_Parent; group; group = group->GetParent())
        if (Transform* transform = Cast<Transform>(group)) return transform;
    return nullptr;
}

Group::~Group() {
    // Copy first: each detach shrinks the list.
    std::vector<Ref<Node>> children = m_Children;
    for (Ref<Node>& child : children) child->SetParent(nullptr);
    m_Children.clear();
}

void Group::AddChild(Node* node) {
    if (!node) return;
    for (const Ref<Node>& child : m_Children)
        if (child.Get() == node) return;
    m_Children.push_back(Ref<Node>(node));
}

void Group::RemoveChild(Node* node) {
    for (size_t i = 0; i < m_Children.size(); ++i) {
        if (m_Children[i].Get() == node) {
            m_Children.erase(m_Children.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

namespace {

Fixed SafeDivide(Fixed a, Fixed b) { return b.Raw() == 0 ? Fixed::FromRaw(0x7FFFFFFF) : a / b; }

}  // namespace

InterfaceGroup::InterfaceGroup() { SetSize(Fixed::FromInt(320), Fixed::FromInt(240)); }

void InterfaceGroup::SetSize(Fixed width, Fixed height) {
    m_Width = width;
    m_Height = height;
    for (Fixed& value : m_Projection.m) value = Fixed::FromRaw(0);
    m_Projection.m[0] = SafeDivide(Fixed::FromInt(2), width);
    m_Projection.m[5] = SafeDivide(Fixed::FromInt(2), height);
    m_Projection.m[10] = Fixed::FromInt(1);
    m_Projection.m[12] = SafeDivide(Fixed::FromRaw(16384), width);
    m_Projection.m[13] = SafeDivide(Fixed::FromRaw(16384), height);
    m_Projection.m[15] = Fixed::FromInt(1);
}

}  // namespace Meridian
