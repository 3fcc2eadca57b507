#include "Scene/DrawTree.h"

#include "Core/Log.h"

namespace Meridian {

void DrawTree::Draw() {
    if (!m_SceneRoot) {
        LogE() << "DrawTree::Draw: SceneRoot must NOT be 0.";
        return;
    }
    ++m_FrameNumber;
}

}  // namespace Meridian
