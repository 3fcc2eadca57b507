// Damaged .msd files: every truncation and a few thousand deterministic mutations of a file that uses every chunk kind,
// and of the game's glider. Nothing may crash, read past the end, allocate by a damaged count or leak (the sanitizers
// watch), and every mesh that comes back must only index vertices it has.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "Animation/TrackLibrary.h"
#include "Import/ImportMSD.h"
#include "Math/MathFunctions.h"
#include "MsdBytes.h"
#include "Mutator.h"
#include "Scene/PolygonGeometry.h"
#include "Support/TestUtil.h"

using namespace Meridian;
using ::Test::MsdBytes;

namespace {

typedef std::vector<unsigned char> Bytes;

// A file with every chunk kind; ends collects where each chunk ends.
Bytes RichFile(std::set<size_t>& ends) {
    MsdBytes f;
    f.Poly(3, 10, "Early", 20, ::Test::QuadVertices(), ::Test::QuadIndices());  // before any Transform
    ends.insert(f.Size());
    f.Transform(-1, 1, "Root", 0, 1, 0);
    ends.insert(f.Size());
    f.Transform(1, 2, "Body", 1, 0, 0, 45);
    ends.insert(f.Size());
    f.Transform(2, 3, "Wing");
    ends.insert(f.Size());
    f.Mesh("SKIN", 2, 11, "Skin", 20, 0, ::Test::QuadVertices(), ::Test::QuadIndices());
    f.I32(2).Joint(2, {0, 1, 2}, {1, 0.5f, 0.25f}).Joint(3, {3}, {1});
    ends.insert(f.Size());
    f.Material(20, "Paint", 30, 30, -1);
    ends.insert(f.Size());
    f.Texture(30, "Tex", "C:\\maps\\paint.tga");
    ends.insert(f.Size());
    f.Tag("ANIM").I32(2).Tag("TAKE").String("Spin").I32(2);
    f.I32(2).Attribute("ROTN", {{0, 0, 0, 0}, {360, 0, 0, 2}}, {{0, 0, 0, 0}}, {});
    f.Attribute("TRNS", {{1, 0, 0, 1}}, {}, {}).Tag("NONE");
    f.I32(3).Attribute("SCAL", {{1, 0, 0, 0}, {2, 1, 1, 1}}, {{1, 0, 0, 0}}, {{1, 0, 0, 0}}).Tag("NONE").Tag("NONE");
    f.Tag("TAKE").String("Idle").I32(1);
    f.Channel(3, {{0, 0, 0, 0}});
    ends.insert(f.Size());
    f.Poly(3, 12, "Late", 20, ::Test::QuadVertices(), ::Test::QuadIndices());
    ends.insert(f.Size());
    return f.bytes;
}

// Imports bytes and checks what came back. True when a tree came back.
bool ImportAndCheck(const Bytes& bytes, const std::string& path) {
    EXPECT_TRUE(::Test::WriteFile(path, bytes));
    Ref<Transform> root(ImportMSD(path.c_str(), 0));
    if (!root) return false;
    EXPECT_EQ(nullptr, root->GetParent());
    ::Test::Walk(root, [](Node* node) {
        if (PolygonGeometry* mesh = Cast<PolygonGeometry>(node)) {
            std::vector<U16> indices;
            mesh->GetIndices(indices);
            for (U16 index : indices) ASSERT_LT(static_cast<I32>(index), mesh->GetVertexCount());
            mesh->UpdateDrawable();
        }
        if (Container* container = Cast<Container>(node))
            for (U32 i = 0; i < container->GetCount(); ++i)
                if (TrackLibrary* library = Cast<TrackLibrary>(container->Get(i))) library->Update(Fixed::FromInt(1));
    });
    return true;
}

}  // namespace

TEST(ImportMSDDamage, EveryTruncationFailsCleanlyUnlessItEndsAtAChunk) {
    InitTables();
    ::Test::TempDir dir;
    std::set<size_t> ends;
    const Bytes file = RichFile(ends);
    ASSERT_TRUE(ImportAndCheck(file, dir.File("whole.msd")));
    const size_t root = *std::next(ends.begin());  // end of the root Transform
    ::Test::LogCapture log;
    int kept = 0, failed = 0;
    for (size_t cut = 0; cut < file.size(); ++cut) {
        SCOPED_TRACE(cut);
        // A cut inside a chunk's tag reads as the end of the file; a cut inside a body fails the import.
        bool atChunk = false;
        for (size_t end : ends) atChunk = atChunk || (cut >= end && cut < end + 4 && end >= root);
        const bool imported = ImportAndCheck(Bytes(file.begin(), file.begin() + long(cut)), dir.File("cut.msd"));
        EXPECT_EQ(atChunk, imported);
        imported ? ++kept : ++failed;
    }
    // Four cuts at every chunk end from the root on but the file's end; the four cuts after the magic and the four
    // after the first chunk give no tree without an error (no Transform yet); every other failure logs one line.
    EXPECT_EQ(static_cast<int>((ends.size() - 2) * 4), kept);
    EXPECT_EQ(failed, log.Count("[E] ImportMSD: Import failed.") + log.Count("[E] ImportMSD: Init ") + 8);
}

TEST(ImportMSDDamage, ThousandsOfMutationsNeverCrash) {
    InitTables();
    ::Test::TempDir dir;
    std::set<size_t> ends;
    const Bytes rich = RichFile(ends);
    const Bytes glider = ::Test::ReadFile(std::string(SKYRAIL_TEST_TOOLS_DIR) + "/../Data/SkyRail/glider01.msd");
    ASSERT_FALSE(glider.empty());
    ::Test::Mutator mutator(20240611u);
    ::Test::LogCapture log;  // the damaged files log a great deal
    int kept = 0, failed = 0;
    for (int round = 0; round < 4000 && !HasFatalFailure(); ++round) {
        Bytes bytes = round % 4 == 3 ? glider : rich;
        if (round % 2 == 0)
            mutator.Extreme(bytes, 0);
        else
            bytes = mutator.Mutate(bytes, 4);
        ImportAndCheck(bytes, dir.File("mutant.msd")) ? ++kept : ++failed;
        if (HasFatalFailure()) ADD_FAILURE() << "round " << round;
    }
    // Both outcomes must occur: the mutations are not all harmless, nor all fatal.
    EXPECT_GT(kept, 200);
    EXPECT_GT(failed, 200);
}
