// Materials, shaders, textures and the shader helpers: clamps, ownership and lazy image loading from real PNG files.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "Image/WritePNG.h"
#include "Scene/FileTexture2D.h"
#include "Scene/RenderTarget.h"
#include "Scene/ShaderHelpers.h"
#include "Support/TestUtil.h"

using namespace Meridian;

namespace {

// A 2 x 2 RGBA PNG whose bottom row (as textures store it) starts with byte 1.
void WriteSmallPng(const std::string& path) {
    const U8 pixels[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    ASSERT_TRUE(WritePNG(path.c_str(), ImageRGBA, 2, 2, pixels));
}

}  // namespace

TEST(Appearance, ShininessClampAndTextureUnits) {
    Ref<Material> material = New<Material>();
    const float shininess[][2] = {{200, 128}, {-1, 0}, {37.5f, 37.5f}, {128, 128}};
    for (const auto& s : shininess) {
        material->SetShininess(Fixed::FromFloat(s[0]));
        EXPECT_EQ(Fixed::FromFloat(s[1]), material->GetShininess()) << s[0];
    }
    // Units 0 and 1 only; others hold and take nothing. The shader owns its parts.
    Ref<Shader> shader = New<Shader>();
    Ref<Texture2D> texture = New<Texture2D>();
    shader->SetTexture(1, texture);
    shader->SetTexture(2, texture);
    shader->SetTexture(-1, texture);
    shader->SetMaterial(material);
    EXPECT_EQ(texture.Get(), shader->GetTexture(1));
    EXPECT_EQ(nullptr, shader->GetTexture(0));
    EXPECT_EQ(nullptr, shader->GetTexture(2));
    EXPECT_EQ(nullptr, shader->GetTexture(-1));
    EXPECT_EQ(2, RefCount(texture.Get()));
    shader.Reset();
    EXPECT_EQ(1, RefCount(texture.Get()));
    EXPECT_EQ(1, RefCount(material.Get()));
}

TEST(Appearance, RenderTargetAspectSaturates) {
    Ref<RenderTarget> target = New<RenderTarget>();
    const I32 sizes[][3] = {{0, 0, 0x7FFFFFFF}, {320, 240, 87381}, {320, 0, 0x7FFFFFFF}, {100000, 1, 0x7FFFFFFF}};
    for (const auto& s : sizes) {
        target->SetWidth(s[0]);
        target->SetHeight(s[1]);
        Fixed aspect;
        target->GetAspect(aspect);
        EXPECT_EQ(s[2], aspect.Raw()) << s[0] << " x " << s[1];
    }
}

TEST(Appearance, FileTextureRetriesAMissingFileAndShaderHelpersLoadOne) {
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
    EXPECT_EQ(1, image->GetPixels()[0]);  // bottom row first
    // Once held, the image is not read again.
    std::remove(path.c_str());
    EXPECT_EQ(image, texture->GetImage());
    // The shader helpers load the same way.
    WriteSmallPng(path);
    Ref<Shader> textured = CreateTextureShader(path.c_str(), true, Shader::BlendAdditive);
    ASSERT_TRUE(textured);
    Texture2D* unit0 = Cast<Texture2D>(textured->GetTexture(0));
    ASSERT_TRUE(unit0 && unit0->GetImage());
    EXPECT_EQ(1, unit0->GetImage()->GetPixels()[0]);  // flipped on import
    EXPECT_FLOAT_EQ(1.0f, textured->GetMaterial()->GetDiffuse()[0]);
    EXPECT_TRUE(textured->GetLighting());
    EXPECT_EQ(Shader::BlendAdditive, textured->GetBlendMode());
    const F32 red[4] = {1.0f, 0.0f, 0.0f, 0.5f};
    EXPECT_FLOAT_EQ(0.5f, Ref<Shader>(CreateColorShader(red, false))->GetMaterial()->GetDiffuse()[3]);
    ::Test::LogCapture log;
    EXPECT_EQ(nullptr, CreateTextureFromFile(dir.File("none.png").c_str()));
    EXPECT_EQ(nullptr, CreateTextureShader(dir.File("none.png").c_str(), false, 0));
}
