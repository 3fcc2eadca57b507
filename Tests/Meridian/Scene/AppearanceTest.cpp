// Materials, shaders, textures and the shader helpers: defaults, clamps,
// ownership and lazy image loading from real PNG files.
#include <gtest/gtest.h>

#include <string>

#include "Image/WritePNG.h"
#include "Scene/FileTexture2D.h"
#include "Scene/FontTexture2D.h"
#include "Scene/RenderTarget.h"
#include "Scene/ShaderHelpers.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

void ExpectColor(const F32* c, F32 r, F32 g, F32 b, F32 a) {
    EXPECT_FLOAT_EQ(r, c[0]);
    EXPECT_FLOAT_EQ(g, c[1]);
    EXPECT_FLOAT_EQ(b, c[2]);
    EXPECT_FLOAT_EQ(a, c[3]);
}

// A device handle that counts its releases.
class CountingHandle : public TextureHandle {
public:
    explicit CountingHandle(int* released) : m_Released(released) {}
    ~CountingHandle() override { Release(); }
    void Release() override {
        if (m_Created) ++*m_Released;
        m_Created = false;
    }
    bool Create() override { return m_Created = true; }
    bool IsCreated() const override { return m_Created; }

private:
    int* m_Released;
    bool m_Created = false;
};

// Writes a 2 x 2 RGBA PNG whose bottom row (as textures store it) starts with
// the bytes 1, 2, 3, 4.
void WriteSmallPng(const std::string& path) {
    const U8 pixels[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    ASSERT_TRUE(WritePNG(path.c_str(), ImageRGBA, 2, 2, pixels));
}

}  // namespace

TEST(Material, DefaultsAndShininessClamp) {
    Ref<Material> material = New<Material>();
    ExpectColor(material->GetAmbient(), 0.2f, 0.2f, 0.2f, 1.0f);
    ExpectColor(material->GetDiffuse(), 0.8f, 0.8f, 0.8f, 1.0f);
    ExpectColor(material->GetSpecular(), 0.0f, 0.0f, 0.0f, 1.0f);
    ExpectColor(material->GetEmission(), 0.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(Fixed::Zero, material->GetShininess());

    material->SetShininess(Fixed::FromInt(200));
    EXPECT_EQ(Fixed::FromInt(128), material->GetShininess());
    material->SetShininess(Fixed::FromInt(-1));
    EXPECT_EQ(Fixed::Zero, material->GetShininess());
    material->SetShininess(Fixed::FromFloat(37.5f));
    EXPECT_EQ(Fixed::FromFloat(37.5f), material->GetShininess());
    material->SetShininess(Fixed::FromInt(128));
    EXPECT_EQ(Fixed::FromInt(128), material->GetShininess());

    material->SetSpecular(0.1f, 0.2f, 0.3f, 0.4f);
    ExpectColor(material->GetSpecular(), 0.1f, 0.2f, 0.3f, 0.4f);
    EXPECT_TRUE(material->IsKindOf(MakeTag("MAT0")));
    EXPECT_FALSE(material->IsKindOf(MakeTag("NOD0")));
}

TEST(Shader, DefaultsUnitsAndOwnership) {
    Ref<Shader> shader = New<Shader>();
    EXPECT_EQ(nullptr, shader->GetMaterial());
    EXPECT_TRUE(shader->GetLighting());
    EXPECT_EQ(0, shader->GetBlendMode());
    EXPECT_EQ(8, shader->GetLayer());
    EXPECT_TRUE(shader->GetCulling());
    EXPECT_TRUE(shader->GetDepthTest());
    EXPECT_EQ(0, shader->GetCombineMode());
    EXPECT_EQ(Fixed::One, shader->GetBlendFactor());
    EXPECT_STREQ("Shader", shader->GetTypeName());

    Ref<Texture2D> texture = New<Texture2D>();
    Ref<Material> material = New<Material>();
    shader->SetTexture(1, texture);
    shader->SetMaterial(material);
    EXPECT_EQ(texture.Get(), shader->GetTexture(1));
    EXPECT_EQ(nullptr, shader->GetTexture(0));
    EXPECT_EQ(2, RefCount(texture.Get()));

    // Units beyond 1 hold nothing and take nothing.
    shader->SetTexture(2, texture);
    shader->SetTexture(-1, texture);
    EXPECT_EQ(nullptr, shader->GetTexture(2));
    EXPECT_EQ(nullptr, shader->GetTexture(-1));
    EXPECT_EQ(2, RefCount(texture.Get()));

    shader.Reset();
    EXPECT_EQ(1, RefCount(texture.Get()));
    EXPECT_EQ(1, RefCount(material.Get()));
}

TEST(Texture, KindsDefaultsAndHandleRelease) {
    Ref<Texture2D> plain = New<Texture2D>();
    Ref<FileTexture2D> file = New<FileTexture2D>();
    Ref<FontTexture2D> font = New<FontTexture2D>();
    Ref<RenderTarget> target = New<RenderTarget>();
    EXPECT_EQ(1, plain->GetMipmapMode());
    EXPECT_EQ(1, plain->GetMagLinear());
    EXPECT_EQ(1, plain->GetMinLinear());
    EXPECT_EQ(nullptr, plain->GetTransform());
    EXPECT_EQ(0, plain->GetWidth());
    EXPECT_EQ(0, plain->GetHeight());
    EXPECT_NE(nullptr, Cast<Texture2D>(file.Get()));
    EXPECT_NE(nullptr, Cast<Texture2D>(font.Get()));
    EXPECT_EQ(nullptr, Cast<Texture2D>(target.Get()));
    EXPECT_NE(nullptr, Cast<Texture>(target.Get()));
    EXPECT_EQ(nullptr, Cast<FontTexture2D>(file.Get()));
    EXPECT_STREQ("FontTexture2D", font->GetTypeName());
    EXPECT_STREQ("RenderTarget", target->GetTypeName());

    // The texture's last reference releases the device handle with it.
    int released = 0;
    Ref<Texture2D> owner = New<Texture2D>();
    CountingHandle* first = New<CountingHandle>(&released);
    first->Create();
    owner->SetHandle(first);
    CountingHandle* second = New<CountingHandle>(&released);
    second->Create();
    owner->SetHandle(second);
    EXPECT_EQ(1, released);
    EXPECT_EQ(second, owner->GetHandle());
    owner.Reset();
    EXPECT_EQ(2, released);
}

TEST(Texture, RenderTargetAspect) {
    Ref<RenderTarget> target = New<RenderTarget>();
    Fixed aspect;
    target->GetAspect(aspect);
    EXPECT_EQ(Fixed::Max, aspect);
    target->SetWidth(320);
    target->SetHeight(240);
    EXPECT_EQ(320, target->GetWidth());
    target->GetAspect(aspect);
    EXPECT_EQ(87381, aspect.Raw());
    target->SetHeight(0);
    target->GetAspect(aspect);
    EXPECT_EQ(0x7FFFFFFF, aspect.Raw());
    target->SetWidth(100000);
    target->SetHeight(1);
    target->GetAspect(aspect);
    EXPECT_EQ(Fixed::Max, aspect);
}

TEST(Texture, FileTextureRetriesAMissingFileUntilItAppears) {
    ::Test::TempDir dir;
    const std::string path = dir.File("late.png");
    Ref<FileTexture2D> texture = New<FileTexture2D>();
    texture->SetFileName(path);
    {
        ::Test::LogCapture log;
        EXPECT_EQ(nullptr, texture->GetImage());
        EXPECT_FALSE(texture->Load());
        EXPECT_EQ(0, texture->GetWidth());
        EXPECT_EQ(3, log.Count("[E] Import::ImportPNG: failed to open file:" + path));
    }
    WriteSmallPng(path);
    ASSERT_TRUE(texture->Load());
    Image* image = texture->GetImage();
    ASSERT_NE(nullptr, image);
    EXPECT_EQ(2, texture->GetWidth());
    EXPECT_EQ(2, texture->GetHeight());
    EXPECT_EQ(1, image->GetPixels()[0]);  // bottom row first
    // Once held, the image is not read again.
    std::remove(path.c_str());
    EXPECT_EQ(image, texture->GetImage());
}

TEST(Texture, FontTextureCopiesItsGlyphTable) {
    Ref<FontTexture2D> font = New<FontTexture2D>();
    GlyphTable table(3, GlyphRecord{-1, 0, 0, 0, 0, 0, 0, 0, 0});
    table[2] = GlyphRecord{2, 1, 2, 3, 4, 5, 6, 7, 8};
    font->SetGlyphs(table);
    table[2].x = 99;
    GlyphTable out;
    font->GetGlyphs(out);
    ASSERT_EQ(3u, out.size());
    EXPECT_EQ(1, out[2].x);
    font->SetGlyphSize(Fixed::FromInt(12), Fixed::FromInt(8));
    Fixed w, h;
    font->GetGlyphSize(w, h);
    EXPECT_EQ(Fixed::FromInt(12), w);
    EXPECT_EQ(Fixed::FromInt(8), h);
}

TEST(ShaderHelpers, ColourAndTextureShaders) {
    const F32 red[4] = {1.0f, 0.0f, 0.0f, 0.5f};
    Ref<Shader> color = CreateColorShader(red, false);
    ASSERT_TRUE(color);
    ASSERT_NE(nullptr, color->GetMaterial());
    ExpectColor(color->GetMaterial()->GetDiffuse(), 1.0f, 0.0f, 0.0f, 0.5f);
    ExpectColor(color->GetMaterial()->GetAmbient(), 0.2f, 0.2f, 0.2f, 1.0f);
    EXPECT_FALSE(color->GetLighting());
    EXPECT_EQ(nullptr, color->GetTexture(0));
    EXPECT_EQ(8, color->GetLayer());

    ::Test::TempDir dir;
    const std::string path = dir.File("skin.png");
    WriteSmallPng(path);
    Ref<Texture2D> texture = CreateTextureFromFile(path.c_str());
    ASSERT_TRUE(texture);
    ASSERT_NE(nullptr, texture->GetImage());
    EXPECT_EQ(1, texture->GetImage()->GetPixels()[0]);

    Ref<Shader> textured = CreateTextureShader(path.c_str(), true, Shader::BlendAdditive);
    ASSERT_TRUE(textured);
    Texture2D* unit0 = Cast<Texture2D>(textured->GetTexture(0));
    ASSERT_NE(nullptr, unit0);
    EXPECT_EQ(2, unit0->GetWidth());
    ExpectColor(textured->GetMaterial()->GetDiffuse(), 1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_TRUE(textured->GetLighting());
    EXPECT_EQ(3, textured->GetBlendMode());
    EXPECT_TRUE(textured->GetCulling());

    ::Test::LogCapture log;
    EXPECT_EQ(nullptr, CreateTextureFromFile(dir.File("none.png").c_str()));
    EXPECT_EQ(nullptr, CreateTextureShader(dir.File("none.png").c_str(), false, 0));
    EXPECT_EQ(2, log.Count("[E] Import::ImportPNG: failed to open file:"));
}
