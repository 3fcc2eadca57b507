// Damaged .msd files: every truncation and a few thousand deterministic
// mutations of a file that uses every chunk kind, and of the game's glider.
// Nothing may crash, read past the end, allocate by a damaged count or leak
// (the sanitizers watch), and every mesh that comes back must only index
// vertices it has.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>

#include "Animation/TrackLibrary.h"
#include "Import/ImportMSD.h"
#include "Math/MathFunctions.h"
#include "Scene/SkinGeometry.h"
#include "Support/TestUtil.h"
#include "MsdBytes.h"

using namespace Meridian;
using ::Test::MsdBytes;

namespace {

// A file with every chunk kind; boundaries collects where each chunk ends.
MsdBytes RichFile(std::set<size_t>& boundaries) {
    MsdBytes f;
    f.Poly(3, 10, "Early", 20, ::Test::QuadVertices(), ::Test::QuadIndices());  // before any Transform
    boundaries.insert(f.Size());
    f.Transform(-1, 1, "Root", 0, 1, 0);
    boundaries.insert(f.Size());
    f.Transform(1, 2, "Body", 1, 0, 0, 45);
    boundaries.insert(f.Size());
    f.Transform(2, 3, "Wing");
    boundaries.insert(f.Size());
    f.Mesh("SKIN", 2, 11, "Skin", 20, 0, ::Test::QuadVertices(), ::Test::QuadIndices());
    f.I32(2).Joint(2, {0, 1, 2}, {1, 0.5f, 0.25f}).Joint(3, {3}, {1});
    boundaries.insert(f.Size());
    f.Material(20, "Paint", 30, 30, -1);
    boundaries.insert(f.Size());
    f.Texture(30, "Tex", "C:\\maps\\paint.tga");
    boundaries.insert(f.Size());
    f.Tag("ANIM").I32(2);
    f.Tag("TAKE").String("Spin").I32(2);
    f.I32(2).Attribute("ROTN", {{0, 0, 0, 0}, {360, 0, 0, 2}}, {{0, 0, 0, 0}}, {}).Attribute("TRNS", {{1, 0, 0, 1}}, {}, {}).Tag("NONE");
    f.I32(3).Attribute("SCAL", {{1, 0, 0, 0}, {2, 1, 1, 1}}, {{1, 0, 0, 0}}, {{1, 0, 0, 0}}).Tag("NONE").Tag("NONE");
    f.Tag("TAKE").String("Idle").I32(1);
    f.I32(3).Attribute("TRNS", {{0, 0, 0, 0}}, {}, {}).Attribute("ROTN", {}, {}, {}).Attribute("SCAL", {}, {}, {});
    boundaries.insert(f.Size());
    f.Poly(3, 12, "Late", 20, ::Test::QuadVertices(), ::Test::QuadIndices());
    boundaries.insert(f.Size());
    return f;
}

template <class Visit>
void Walk(Node* node, const Visit& visit) {
    visit(node);
    if (Group* group = Cast<Group>(node))
        for (U32 i = 0; i < group->GetChildCount(); ++i) Walk(group->GetChild(i), visit);
}

// Checks what an import gave back, then cuts the references that point up
// the tree (skin joints, animation targets), which would otherwise keep a
// dropped tree alive.
void CheckAndRelease(Ref<Transform>& root) {
    if (!root) return;
    EXPECT_EQ(nullptr, root->GetParent());
    Walk(root, [](Node* node) {
        if (PolygonGeometry* mesh = Cast<PolygonGeometry>(node)) {
            std::vector<U16> indices;
            mesh->GetIndices(indices);
            for (U16 index : indices) ASSERT_LT(static_cast<I32>(index), mesh->GetVertexCount());
            mesh->UpdateDrawable();
        }
        if (SkinGeometry* skin = Cast<SkinGeometry>(node))
            for (I32 j = 0; j < skin->GetJointCount(); ++j) skin->SetJoint(j, nullptr);
        if (Container* container = Cast<Container>(node))
            for (U32 i = 0; i < container->GetCount(); ++i)
                if (TrackLibrary* library = Cast<TrackLibrary>(container->Get(i))) {
                    library->Update(Fixed::FromInt(1));
                    for (I32 t = 0; t < library->GetTrackCount(); ++t) library->GetTrack(t)->SetTarget(nullptr);
                }
    });
    root.Reset();
}

Ref<Transform> ImportBytes(const std::vector<unsigned char>& bytes, const std::string& path) {
    EXPECT_TRUE(::Test::WriteFile(path, bytes));
    return Ref<Transform>(ImportMSD(path.c_str(), 0));
}

}  // namespace

TEST(ImportMSDDamage, EveryTruncationFailsCleanlyUnlessItEndsAtAChunk) {
    InitTables();
    ::Test::TempDir dir;
    std::set<size_t> boundaries;
    const MsdBytes file = RichFile(boundaries);
    {
        Ref<Transform> whole = ImportBytes(file.bytes, dir.File("whole.msd"));
        ASSERT_TRUE(whole);
        CheckAndRelease(whole);
    }
    const size_t firstRoot = *std::next(boundaries.begin());  // end of the root Transform
    ::Test::LogCapture log;
    int kept = 0, failed = 0;
    for (size_t cut = 0; cut < file.bytes.size(); ++cut) {
        SCOPED_TRACE(cut);
        const std::vector<unsigned char> part(file.bytes.begin(), file.bytes.begin() + static_cast<long>(cut));
        Ref<Transform> root = ImportBytes(part, dir.File("cut.msd"));
        // A cut inside a chunk's tag reads as the end of the file; a cut
        // inside a body fails the import.
        bool atChunk = false;
        for (size_t b : boundaries)
            if (cut >= b && cut < b + 4 && b >= firstRoot) atChunk = true;
        EXPECT_EQ(atChunk, static_cast<bool>(root));
        root ? ++kept : ++failed;
        CheckAndRelease(root);
    }
    // Every boundary from the root on but the file's end keeps four cuts; the
    // four cuts after the magic and the four after the first chunk give no
    // tree without an error (no Transform yet); every other failure logs one
    // line.
    EXPECT_EQ(static_cast<int>((boundaries.size() - 2) * 4), kept);
    EXPECT_EQ(failed, log.Count("[E] ImportMSD: Import failed.") + log.Count("[E] ImportMSD: Init ") + 8);
}

TEST(ImportMSDDamage, ThousandsOfMutationsNeverCrash) {
    InitTables();
    ::Test::TempDir dir;
    std::set<size_t> boundaries;
    const std::vector<unsigned char> rich = RichFile(boundaries).bytes;
    const std::vector<unsigned char> glider =
        ::Test::ReadFile(std::string(SKYRAIL_TEST_TOOLS_DIR) + "/../Data/SkyRail/glider01.msd");
    ASSERT_FALSE(glider.empty());

    const uint32_t interesting[] = {0u,          1u,          2u,          3u,         0xFFFFFFFFu, 0x7FFFFFFFu,
                                    0x80000000u, 0xFFFFu,     0x10000u,    0x10001u,   0x40000000u, 0x0FFFFFFFu,
                                    0xFFFFFFFEu, 0x7F800000u, 0x7FC00000u, 0xFF800000u};
    std::mt19937 random(20240611u);
    ::Test::LogCapture log;  // the damaged files log a great deal
    int kept = 0, failed = 0;
    for (int round = 0; round < 4000; ++round) {
        std::vector<unsigned char> bytes = round % 4 == 3 ? glider : rich;
        const size_t size = bytes.size();
        switch (random() % 4) {
            case 0:  // flip a few bits
                for (unsigned k = 0, n = 1 + random() % 3; k < n; ++k) bytes[random() % size] ^= 1u << (random() % 8);
                break;
            case 1: {  // an aligned word becomes a boundary value
                const size_t at = (random() % (size / 4)) * 4;
                const uint32_t value = interesting[random() % (sizeof interesting / sizeof interesting[0])];
                for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
                break;
            }
            case 2: {  // bytes disappear
                const size_t at = random() % size;
                bytes.erase(bytes.begin() + static_cast<long>(at),
                            bytes.begin() + static_cast<long>(std::min(size, at + 1 + random() % 8)));
                break;
            }
            default: {  // bytes appear
                const size_t at = random() % size;
                bytes.insert(bytes.begin() + static_cast<long>(at), 1 + random() % 8,
                             static_cast<unsigned char>(random()));
                break;
            }
        }
        Ref<Transform> root = ImportBytes(bytes, dir.File("mutant.msd"));
        root ? ++kept : ++failed;
        CheckAndRelease(root);
        if (HasFatalFailure()) {
            ADD_FAILURE() << "round " << round;
            return;
        }
    }
    // Both outcomes must occur: the mutations are not all harmless, nor all fatal.
    EXPECT_GT(kept, 200);
    EXPECT_GT(failed, 200);
    std::printf("mutations: %d imported, %d refused\n", kept, failed);
}
