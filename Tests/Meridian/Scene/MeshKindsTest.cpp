// The derived meshes: the image rectangle, skinning against a hand
// computation and text layout from a hand-made glyph table.
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

void ExpectVertex(const Float3& p, float x, float y, float z) {
    EXPECT_NEAR(x, p.x, 1e-4);
    EXPECT_NEAR(y, p.y, 1e-4);
    EXPECT_NEAR(z, p.z, 1e-4);
}

void ExpectCoord(const Float2& c, float u, float v) {
    EXPECT_NEAR(u, c.u, 1e-4);
    EXPECT_NEAR(v, c.v, 1e-4);
}

std::vector<U16> Indices(const PolygonGeometry& mesh) {
    std::vector<U16> out;
    mesh.GetIndices(out);
    return out;
}

}  // namespace

TEST(ImageGeometry, BuildsATexturedRectangleFromTheShadersImage) {
    Ref<Texture2D> texture = New<Texture2D>();
    texture->SetImage(MakeImage(4, 2));
    Ref<ImageGeometry> quad = New<ImageGeometry>();
    quad->SetShader(ShaderWith(texture));
    ASSERT_TRUE(quad->NeedsRebuild());
    quad->UpdateDrawable();
    EXPECT_FALSE(quad->NeedsRebuild());
    ASSERT_EQ(4, quad->GetVertexCount());
    const Float3* p = quad->GetVertexData();
    ExpectVertex(p[0], 0, 0, 0);
    ExpectVertex(p[1], 1, 0, 0);
    ExpectVertex(p[2], 0, 1, 0);
    ExpectVertex(p[3], 1, 1, 0);
    EXPECT_EQ((std::vector<U16>{0, 1, 2, 1, 3, 2}), Indices(*quad));
    EXPECT_EQ(19u, quad->GetDirtyBits());
    EXPECT_EQ(2, quad->GetPrimitiveCount());
    EXPECT_EQ(0, quad->GetPrimitiveType());

    quad->SetDirtyBits(0);
    quad->SetPosition({F(1), F(2), F(3)});
    quad->SetSize(F(4), F(5));
    quad->SetTextureOffset(F(0.5f), F(0.25f));
    quad->SetTextureScale(F(2), F(1));
    quad->SetTextureRepeat(F(3), F(2));
    ASSERT_TRUE(quad->NeedsRebuild());
    quad->UpdateDrawable();
    p = quad->GetVertexData();
    ExpectVertex(p[0], 1, 2, 3);
    ExpectVertex(p[1], 5, 2, 3);
    ExpectVertex(p[2], 1, 7, 3);
    ExpectVertex(p[3], 5, 7, 3);
    const Float2* c = quad->GetTexCoordData(0);
    ExpectCoord(c[0], 0.5f, 0.25f);
    ExpectCoord(c[1], 6, 0.25f);
    ExpectCoord(c[2], 0.5f, 2);
    ExpectCoord(c[3], 6, 2);
    EXPECT_EQ(19u, quad->GetDirtyBits());
    EXPECT_EQ(6, quad->GetIndexCount());

    // Setting a value it already has does not rebuild.
    quad->SetSize(F(4), F(5));
    EXPECT_FALSE(quad->NeedsRebuild());
}

TEST(ImageGeometry, MissingImageLogsAndRetries) {
    Ref<ImageGeometry> quad = New<ImageGeometry>();
    ::Test::LogCapture log;
    quad->UpdateDrawable();  // no shader
    quad->SetShader(New<Shader>());
    quad->UpdateDrawable();  // no texture
    quad->SetShader(ShaderWith(New<RenderTarget>()));
    quad->UpdateDrawable();  // not a Texture2D
    quad->SetShader(ShaderWith(New<Texture2D>()));
    quad->UpdateDrawable();  // no image
    EXPECT_EQ(4, log.Count("[E] ImageGeometry::UpdateDrawable: Image==0"));
    EXPECT_TRUE(quad->NeedsRebuild());
    EXPECT_EQ(0, quad->GetVertexCount());

    ::Test::TempDir dir;
    Ref<FileTexture2D> file = New<FileTexture2D>();
    file->SetFileName(dir.File("missing.png"));
    quad->SetShader(ShaderWith(file));
    quad->UpdateDrawable();
    EXPECT_EQ(5, log.Count("[E] ImageGeometry::UpdateDrawable: Image==0"));
    EXPECT_EQ(1, log.Count("[E] Import::ImportPNG: failed to open file:"));

    Ref<Texture2D> texture = New<Texture2D>();
    texture->SetImage(MakeImage(1, 1));
    quad->SetShader(ShaderWith(texture));
    quad->UpdateDrawable();
    EXPECT_FALSE(quad->NeedsRebuild());
    EXPECT_EQ(4, quad->GetVertexCount());
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

    // Before skinning the device sees the source arrays.
    EXPECT_FLOAT_EQ(1.0f, skin->GetVertexData()[0].x);

    skin->SetDirtyBits(0);
    ::Test::LogCapture log;
    skin->UpdateDrawable();
    EXPECT_EQ(2, log.Count("[E] SkinGeometry::CalculateSkinning: vertex index out of range."));
    EXPECT_EQ(2, log.Count("[E] "));

    // v0 = A(1,0,0) = (2,2,3); v1 = Rz90((0,1,0) - (1,0,0)) = (-1,-1,0);
    // v2 = 0.5 A(1,1,0) + 0.5 Rz90(0,1,0) = (1,1.5,1.5) + (-0.5,0,0).
    const Float3* p = skin->GetVertexData();
    ExpectVertex(p[0], 2, 2, 3);
    ExpectVertex(p[1], -1, -1, 0);
    ExpectVertex(p[2], 0.5f, 1.5f, 1.5f);
    const Float3* n = skin->GetNormalData();
    ExpectVertex(n[0], 0, 0, 1);
    ExpectVertex(n[1], 0, 1, 0);
    ExpectVertex(n[2], -0.5f, 0.5f, 0);
    EXPECT_EQ(p, skin->GetSkinnedVertices().data());
    // The source arrays are untouched; the skinned ones are marked for upload.
    std::vector<Float3> source;
    skin->GetVertices(source);
    ExpectVertex(source[1], 0, 1, 0);
    EXPECT_EQ(5u, skin->GetDirtyBits());

    // Skinning runs on every update: moving a joint moves its vertices.
    worldA.m[12] = F(0);
    a->SetWorldMatrix(worldA, 2);
    skin->UpdateDrawable();
    ExpectVertex(skin->GetVertexData()[0], 1, 2, 3);
    EXPECT_TRUE(skin->IsKindOf(MakeTag("SKG0")));
    EXPECT_TRUE(skin->IsKindOf(MakeTag("POG0")));
}

TEST(SkinGeometry, MismatchedCountsLogAndKeepTheLastResult) {
    Ref<SkinGeometry> skin = New<SkinGeometry>();
    skin->SetVertices({{1, 0, 0}, {0, 1, 0}});
    skin->SetNormals({{0, 0, 1}});
    Ref<Transform> joint = New<Transform>();
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

// A 64 x 32 font image with glyphs for 'A', 'B', 'g' and ' ' and one that
// moves the pen down ('v').
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

Ref<TextGeometry> MakeText(const char* text, I32 horizontal = 0, I32 vertical = 0) {
    Ref<TextGeometry> geometry = New<TextGeometry>();
    geometry->SetShader(ShaderWith(MakeFont()));
    geometry->SetAlignment(horizontal, vertical);
    geometry->SetText(text);
    geometry->UpdateDrawable();
    return geometry;
}

}  // namespace

TEST(TextGeometry, LaysGlyphsOutOnEvenColumnsWithTheirTextureRectangles) {
    Ref<TextGeometry> text = MakeText("AB");
    EXPECT_FALSE(text->NeedsRebuild());
    ASSERT_EQ(8, text->GetVertexCount());
    const Float3* p = text->GetVertexData();
    ExpectVertex(p[0], 0, 0, 0);
    ExpectVertex(p[1], 5, 0, 0);
    ExpectVertex(p[2], 5, 7, 0);
    ExpectVertex(p[3], 0, 7, 0);
    // 'A' advances 6 (even): 'B' starts at 6.
    ExpectVertex(p[4], 6, 0, 0);
    ExpectVertex(p[5], 10, 0, 0);
    ExpectVertex(p[6], 10, 7, 0);
    ExpectVertex(p[7], 6, 7, 0);
    const Float2* c = text->GetTexCoordData(0);
    ExpectCoord(c[0], 0, 0.5f);
    ExpectCoord(c[1], 5 / 64.0f, 0.5f);
    ExpectCoord(c[2], 5 / 64.0f, 23 / 32.0f);
    ExpectCoord(c[3], 0, 23 / 32.0f);
    ExpectCoord(c[4], 8 / 64.0f, 0.5f);
    ExpectCoord(c[6], 12 / 64.0f, 23 / 32.0f);
    EXPECT_EQ((std::vector<U16>{0, 1, 2, 2, 3, 0, 4, 5, 6, 6, 7, 4}), Indices(*text));
    EXPECT_EQ(4, text->GetPrimitiveCount());
    EXPECT_EQ(19u, text->GetDirtyBits() & 19u);

    // 'B' advances 5 to column 11, which moves on to 12; 'g' hangs below the baseline.
    text = MakeText("BAg");
    p = text->GetVertexData();
    ExpectVertex(p[4], 6, 0, 0);
    ExpectVertex(p[8], 12, -3, 0);
    ExpectVertex(p[10], 17, 5, 0);

    // A line feed is drawn as a space; bytes without glyphs are skipped in place.
    text = MakeText("A\nZ\xC8" "B");
    ASSERT_EQ(12, text->GetVertexCount());
    ExpectVertex(text->GetVertexData()[4], 6, -1, 0);
    ExpectVertex(text->GetVertexData()[5], 9, -1, 0);  // the space: top 0, height 1
    ExpectVertex(text->GetVertexData()[8], 10, 0, 0);  // 6 + 3 = 9, odd: 10
}

TEST(TextGeometry, AlignmentShiftsByThePenPosition) {
    // The pen ends at 12 after "AB".
    Ref<TextGeometry> centred = MakeText("AB", 1, 0);
    ExpectVertex(centred->GetVertexData()[0], -6, 0, 0);
    ExpectVertex(centred->GetVertexData()[5], 4, 0, 0);
    Ref<TextGeometry> ended = MakeText("AB", 2, 0);
    ExpectVertex(ended->GetVertexData()[0], -12, 0, 0);
    ExpectVertex(ended->GetVertexData()[6], -2, 7, 0);

    // 'v' moves the pen down by 4 and right by 2.
    Ref<TextGeometry> down = MakeText("vv", 0, 1);
    ExpectVertex(down->GetVertexData()[0], 0, 4, 0);  // bottom 0 shifted up by 4
    ExpectVertex(down->GetVertexData()[4], 2, 0, 0);  // second glyph starts 4 lower
    Ref<TextGeometry> downEnd = MakeText("vv", 2, 2);
    ExpectVertex(downEnd->GetVertexData()[0], -4, 8, 0);

    // Changing the alignment later rebuilds.
    centred->SetAlignment(2, 0);
    ASSERT_TRUE(centred->NeedsRebuild());
    centred->UpdateDrawable();
    ExpectVertex(centred->GetVertexData()[0], -12, 0, 0);
}

TEST(TextGeometry, ScaleStretchesGlyphsAndAdvance) {
    Ref<TextGeometry> text = New<TextGeometry>();
    text->SetShader(ShaderWith(MakeFont()));
    text->SetScale(F(2), F(3));
    text->SetText("AB");
    text->UpdateDrawable();
    const Float3* p = text->GetVertexData();
    ExpectVertex(p[2], 10, 21, 0);
    ExpectVertex(p[4], 12, 0, 0);  // 6 x 2 = 12, even
}

TEST(TextGeometry, EmptyResultsAndFailures) {
    Ref<TextGeometry> text = MakeText("ZZ\xFF");
    EXPECT_EQ(0, text->GetVertexCount());
    EXPECT_EQ(0, text->GetIndexCount());
    EXPECT_EQ(0, text->GetPrimitiveCount());
    EXPECT_FALSE(text->NeedsRebuild());

    // Setting the same text again does not rebuild.
    text->SetText("ZZ\xFF");
    EXPECT_FALSE(text->NeedsRebuild());

    ::Test::LogCapture log;
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
