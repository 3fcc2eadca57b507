// The derived meshes: the image rectangle, skinning against a hand computation, text layout from a hand-made table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Scene/FileTexture2D.h"
#include "Scene/FontTexture2D.h"
#include "Scene/ImageGeometry.h"
#include "Scene/RenderTarget.h"
#include "Scene/Shader.h"
#include "Scene/SkinGeometry.h"
#include "Scene/TextGeometry.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

Fixed F(float value) { return Fixed::FromFloat(value); }

Ref<Image> MakeImage(I16 width, I16 height) {
    Ref<Image> image = New<Image>();
    image->Create(ImageLuminanceAlpha, width, height);
    return image;
}

Ref<Shader> ShaderWith(Texture* texture) {
    Ref<Shader> shader = New<Shader>();
    shader->SetTexture(0, texture);
    return shader;
}

// Compares the arrays from index first on with the expected values.
void ExpectVertices(const Float3* p, std::vector<Float3> expected, int first = 0) {
    for (size_t i = 0; i < expected.size(); ++i) {
        const Float3& q = p[first + i];
        EXPECT_NEAR(expected[i].x, q.x, 1e-4) << "vertex " << first + i;
        EXPECT_NEAR(expected[i].y, q.y, 1e-4) << "vertex " << first + i;
        EXPECT_NEAR(expected[i].z, q.z, 1e-4) << "vertex " << first + i;
    }
}

void ExpectCoords(const Float2* c, std::vector<Float2> expected) {
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(expected[i].u, c[i].u, 1e-4) << "coord " << i;
        EXPECT_NEAR(expected[i].v, c[i].v, 1e-4) << "coord " << i;
    }
}

std::vector<U16> Indices(const PolygonGeometry& mesh) {
    std::vector<U16> out;
    mesh.GetIndices(out);
    return out;
}

}  // namespace

TEST(ImageGeometry, BuildsATexturedRectangleOnceTheShaderHasAnImage) {
    ::Test::TempDir dir;
    Ref<FileTexture2D> missingFile = New<FileTexture2D>();
    missingFile->SetFileName(dir.File("missing.png"));
    Ref<ImageGeometry> quad = New<ImageGeometry>();
    quad->SetPosition({F(1), F(2), F(3)});
    quad->SetSize(F(4), F(5));
    quad->SetTextureOffset(F(0.5f), F(0.25f));
    quad->SetTextureScale(F(2), F(1));
    quad->SetTextureRepeat(F(3), F(2));
    ::Test::LogCapture log;
    quad->UpdateDrawable();  // no shader
    // No texture, not a Texture2D, no image, an image file that is not there.
    for (Texture* texture : {static_cast<Texture*>(nullptr), static_cast<Texture*>(New<RenderTarget>()),
                             static_cast<Texture*>(New<Texture2D>()), static_cast<Texture*>(missingFile.Get())}) {
        quad->SetShader(ShaderWith(texture));
        quad->UpdateDrawable();
    }
    EXPECT_EQ(5, log.Count("[E] ImageGeometry::UpdateDrawable: Image==0"));
    EXPECT_TRUE(quad->NeedsRebuild());
    EXPECT_EQ(0, quad->GetVertexCount());
    Ref<Texture2D> texture = New<Texture2D>();
    texture->SetImage(MakeImage(4, 2));  // the pixel size does not enter the rectangle
    quad->SetShader(ShaderWith(texture));
    quad->UpdateDrawable();
    EXPECT_FALSE(quad->NeedsRebuild());
    ASSERT_EQ(4, quad->GetVertexCount());
    ExpectVertices(quad->GetVertexData(), {{1, 2, 3}, {5, 2, 3}, {1, 7, 3}, {5, 7, 3}});
    ExpectCoords(quad->GetTexCoordData(0), {{0.5f, 0.25f}, {6, 0.25f}, {0.5f, 2}, {6, 2}});
    EXPECT_EQ((std::vector<U16>{0, 1, 2, 1, 3, 2}), Indices(*quad));
    EXPECT_EQ(2, quad->GetPrimitiveCount());
    EXPECT_EQ(19u, quad->GetDirtyBits());  // vertices, indices, texture set 0
    // Only a value that differs asks for a rebuild.
    quad->SetSize(F(4), F(5));
    EXPECT_FALSE(quad->NeedsRebuild());
    quad->SetSize(F(4), F(6));
    EXPECT_TRUE(quad->NeedsRebuild());
}

TEST(SkinGeometry, TwoJointsMatchAHandComputation) {
    Ref<SkinGeometry> skin = New<SkinGeometry>();
    skin->SetVertices({{1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
    skin->SetNormals({{0, 0, 1}, {1, 0, 0}, {0, 1, 0}});
    skin->SetIndices({0, 1, 2});
    // Joint A: world translation (1, 2, 3), identity bind.
    Ref<Transform> a = New<Transform>();
    Matrix4 worldA = Matrix4::Identity();
    worldA.m[12] = F(1), worldA.m[13] = F(2), worldA.m[14] = F(3);
    a->SetWorldMatrix(worldA, 1);
    // Joint B: world rotation by 90 degrees about z, bind translation (-1, 0, 0).
    Ref<Transform> b = New<Transform>();
    Matrix4 worldB = Matrix4::Identity();
    worldB.m[0] = F(0), worldB.m[1] = F(1), worldB.m[4] = F(-1), worldB.m[5] = F(0);
    b->SetWorldMatrix(worldB, 1);
    Matrix4 bindB = Matrix4::Identity();
    bindB.m[12] = F(-1);
    skin->AddJoint(a, Matrix4::Identity(), {0, 2}, {F(1), F(0.5f)});
    skin->AddJoint(b, bindB, {1, 7, 2, -1}, {F(1), F(0.3f), F(0.5f), F(1)});
    skin->AddJoint(nullptr, Matrix4::Identity(), {0}, {F(1)});  // an absent joint moves nothing
    EXPECT_FLOAT_EQ(1.0f, skin->GetVertexData()[0].x);          // before skinning: the source
    skin->SetDirtyBits(0);
    ::Test::LogCapture log;
    skin->UpdateDrawable();
    EXPECT_EQ(2, log.Count("[E] SkinGeometry::CalculateSkinning: vertex index out of range."));
    EXPECT_EQ(2, log.Count("[E] "));
    // v0 = A(1,0,0) = (2,2,3); v1 = Rz90((0,1,0) - (1,0,0)) = (-1,-1,0);
    // v2 = 0.5 A(1,1,0) + 0.5 Rz90(0,1,0) = (1,1.5,1.5) + (-0.5,0,0).
    ExpectVertices(skin->GetVertexData(), {{2, 2, 3}, {-1, -1, 0}, {0.5f, 1.5f, 1.5f}});
    ExpectVertices(skin->GetNormalData(), {{0, 0, 1}, {0, 1, 0}, {-0.5f, 0.5f, 0}});
    EXPECT_EQ(5u, skin->GetDirtyBits());  // skinned vertices and normals go up again
    // Skinning runs on every update from the untouched source arrays.
    worldA.m[12] = F(0);
    a->SetWorldMatrix(worldA, 2);
    skin->UpdateDrawable();
    ExpectVertices(skin->GetVertexData(), {{1, 2, 3}});
}

TEST(SkinGeometry, MismatchedCountsLogAndKeepTheLastResult) {
    Ref<SkinGeometry> skin = New<SkinGeometry>();
    skin->SetVertices({{1, 0, 0}, {0, 1, 0}});
    skin->SetNormals({{0, 0, 1}});
    Ref<Transform> joint = New<Transform>();  // the skin does not keep its joints alive
    skin->AddJoint(joint);
    ::Test::LogCapture log;
    skin->UpdateDrawable();
    EXPECT_EQ(1, log.Count("[E] SkinGeometry::CalculateSkinning: Joint count must match Weight count."));
    skin->AddWeightSet({0}, {F(1)});
    skin->UpdateDrawable();
    EXPECT_EQ(1, log.Count("[E] SkinGeometry::CalculateSkinning: Bind matrix count must match Joint count."));
    skin->AddBindMatrix(Matrix4::Identity());
    skin->UpdateDrawable();
    EXPECT_EQ(1, log.Count("[E] SkinGeometry::CalculateSkinning: Normal/Vertex count must match."));
    EXPECT_TRUE(skin->GetSkinnedVertices().empty());
    EXPECT_FLOAT_EQ(1.0f, skin->GetVertexData()[0].x);
}

namespace {

// A 64 x 32 font image with glyphs for 'A', 'B', 'g' and ' ' and one that moves the pen down ('v').
Ref<FontTexture2D> MakeFont() {
    GlyphTable table(120, GlyphRecord{-1, 0, 0, 0, 0, 0, 0, 0, 0});
    //                 code  x   y   w  h  ax ay  -  top
    table['A'] = GlyphRecord{'A', 0, 16, 5, 7, 6, 0, 0, 7};
    table['B'] = GlyphRecord{'B', 8, 16, 4, 7, 5, 0, 0, 7};
    table['g'] = GlyphRecord{'g', 16, 0, 5, 8, 5, 0, 0, 5};
    table[' '] = GlyphRecord{' ', 24, 0, 3, 1, 3, 0, 0, 0};
    table['v'] = GlyphRecord{'v', 32, 0, 2, 2, 2, -4, 0, 2};
    Ref<FontTexture2D> font = New<FontTexture2D>();
    font->SetGlyphs(table);
    font->SetImage(MakeImage(64, 32));
    return font;
}

Ref<TextGeometry> MakeText(const std::string& text, I32 horizontal = 0, I32 vertical = 0, float sx = 1, float sy = 1) {
    Ref<TextGeometry> geometry = New<TextGeometry>();
    geometry->SetShader(ShaderWith(MakeFont()));
    geometry->SetAlignment(horizontal, vertical);
    geometry->SetScale(F(sx), F(sy));
    geometry->SetText(text.c_str());
    geometry->UpdateDrawable();
    return geometry;
}

}  // namespace

TEST(TextGeometry, LaysGlyphsOutOnEvenColumnsWithTheirTextureRectangles) {
    Ref<TextGeometry> text = MakeText("AB");
    ASSERT_EQ(8, text->GetVertexCount());
    // 'A' advances 6 (even): 'B' starts at 6.
    ExpectVertices(text->GetVertexData(),
                   {{0, 0, 0}, {5, 0, 0}, {5, 7, 0}, {0, 7, 0}, {6, 0, 0}, {10, 0, 0}, {10, 7, 0}, {6, 7, 0}});
    ExpectCoords(text->GetTexCoordData(0), {{0, 0.5f}, {5 / 64.0f, 0.5f}, {5 / 64.0f, 23 / 32.0f}, {0, 23 / 32.0f},
                                            {8 / 64.0f, 0.5f}, {12 / 64.0f, 0.5f}, {12 / 64.0f, 23 / 32.0f}});
    EXPECT_EQ((std::vector<U16>{0, 1, 2, 2, 3, 0, 4, 5, 6, 6, 7, 4}), Indices(*text));
    EXPECT_EQ(4, text->GetPrimitiveCount());
    EXPECT_EQ(19u, text->GetDirtyBits() & 19u);
    // 'B' advances 5 to column 11, which moves on to 12; 'g' hangs below the baseline.
    text = MakeText("BAg");
    ExpectVertices(text->GetVertexData(), {{6, 0, 0}}, 4);
    ExpectVertices(text->GetVertexData(), {{12, -3, 0}}, 8);
    ExpectVertices(text->GetVertexData(), {{17, 5, 0}}, 10);
    // A line feed is drawn as a space (top 0, height 1); bytes without glyphs are skipped: 6 + 3 = 9, 'B' at 10.
    text = MakeText("A\nZ\xC8" "B");
    ASSERT_EQ(12, text->GetVertexCount());
    ExpectVertices(text->GetVertexData(), {{6, -1, 0}, {9, -1, 0}}, 4);
    ExpectVertices(text->GetVertexData(), {{10, 0, 0}}, 8);
    // With a placeholder (code 127) each character without a glyph is drawn as it: "É" is one, the lone 0xC8 another.
    Ref<FontTexture2D> font = MakeFont();
    GlyphTable table = font->Glyphs();
    table.resize(128, GlyphRecord{-1, 0, 0, 0, 0, 0, 0, 0, 0});
    table[PlaceholderCode] = GlyphRecord{127, 40, 0, 4, 6, 4, 0, 0, 6};
    font->SetGlyphs(table);
    text = New<TextGeometry>();
    text->SetShader(ShaderWith(font));
    text->SetText("\xC3\x89" "A\xC8");
    text->UpdateDrawable();
    ASSERT_EQ(12, text->GetVertexCount());
    ExpectVertices(text->GetVertexData(), {{0, 0, 0}, {4, 0, 0}, {4, 6, 0}}, 0);
    ExpectVertices(text->GetVertexData(), {{4, 0, 0}}, 4);
    ExpectVertices(text->GetVertexData(), {{10, 0, 0}}, 8);
    EXPECT_EQ(F(14), TextGeometry::Measure(font.Get(), "\xC3\x89" "A\xC8"));
    // Scale stretches glyphs and advance: 6 x 2 = 12, even.
    text = MakeText("AB", 0, 0, 2, 3);
    ExpectVertices(text->GetVertexData(), {{10, 21, 0}}, 2);
    ExpectVertices(text->GetVertexData(), {{12, 0, 0}}, 4);
}

TEST(TextGeometry, AlignmentShiftsByThePenPosition) {
    // The pen ends at 12 after "AB".
    Ref<TextGeometry> centred = MakeText("AB", 1, 0);
    ExpectVertices(centred->GetVertexData(), {{-6, 0, 0}}, 0);
    ExpectVertices(centred->GetVertexData(), {{4, 0, 0}}, 5);
    Ref<TextGeometry> ended = MakeText("AB", 2, 0);
    ExpectVertices(ended->GetVertexData(), {{-12, 0, 0}}, 0);
    ExpectVertices(ended->GetVertexData(), {{-2, 7, 0}}, 6);
    // 'v' moves the pen down by 4 and right by 2: the second glyph starts 4 lower.
    Ref<TextGeometry> down = MakeText("vv", 0, 1);
    ExpectVertices(down->GetVertexData(), {{0, 4, 0}}, 0);
    ExpectVertices(down->GetVertexData(), {{2, 0, 0}}, 4);
    ExpectVertices(MakeText("vv", 2, 2)->GetVertexData(), {{-4, 8, 0}});
    // Changing the alignment later rebuilds.
    centred->SetAlignment(2, 0);
    ASSERT_TRUE(centred->NeedsRebuild());
    centred->UpdateDrawable();
    ExpectVertices(centred->GetVertexData(), {{-12, 0, 0}});
}

TEST(TextGeometry, EmptyResultsLimitsAndFailures) {
    Ref<TextGeometry> text = MakeText("ZZ\xFF");
    EXPECT_EQ(0, text->GetVertexCount());
    EXPECT_EQ(0, text->GetPrimitiveCount());
    EXPECT_FALSE(text->NeedsRebuild());
    text->SetText("ZZ\xFF");  // the same text again does not rebuild
    EXPECT_FALSE(text->NeedsRebuild());
    ::Test::LogCapture log;
    // u16 indices address 16384 glyphs; the rest of a longer text is dropped.
    EXPECT_EQ(65536, MakeText(std::string(20000, 'A'))->GetVertexCount());
    EXPECT_EQ(1, log.Count("[W] TextGeometry::UpdateGeometry: text too long, the rest is dropped."));
    Ref<TextGeometry> bare = New<TextGeometry>();
    bare->SetText("A");
    bare->UpdateDrawable();
    EXPECT_EQ(1, log.Count("[E] TextGeometry::UpdateGeometry: need shader to build geometry."));
    Ref<Texture2D> plain = New<Texture2D>();
    plain->SetImage(MakeImage(8, 8));
    bare->SetShader(ShaderWith(plain));
    bare->UpdateDrawable();
    EXPECT_EQ(1, log.Count("[E] TextGeometry::UpdateGeometry: Shader needs to have FontTexture2D at pass 0."));
    Ref<FontTexture2D> imageless = MakeFont();
    imageless->SetImage(nullptr);
    bare->SetShader(ShaderWith(imageless));
    bare->UpdateDrawable();
    EXPECT_EQ(1, log.Count("[E] TextGeometry::UpdateGeometry: FontTexture2D has no image."));
    EXPECT_TRUE(bare->NeedsRebuild());
    EXPECT_EQ(0, bare->GetVertexCount());
    bare->SetShader(ShaderWith(MakeFont()));
    bare->UpdateDrawable();
    EXPECT_FALSE(bare->NeedsRebuild());
    EXPECT_EQ(4, bare->GetVertexCount());
}
