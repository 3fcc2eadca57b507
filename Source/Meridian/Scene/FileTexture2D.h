// FileTexture2D: a Texture2D whose image is loaded from a PNG file on first
// use (stored bottom row first). A failed load leaves the texture without
// image and is tried again on every later request, each time logging the
// importer's message.
// Depends on: Scene/Texture2D.h, Image/ImportPNG.h.
#pragma once

#include <string>

#include "Scene/Texture2D.h"

namespace Meridian {

class FileTexture2D : public Texture2D {
    MERIDIAN_TAGGED_CLASS(FileTexture2D, Texture2D, Tags::FileTexture2D)

    // The held image, loading it first when there is none; null when the
    // file cannot be imported.
    Image* GetImage() override;
    // Same as GetImage; true when an image is held afterwards.
    bool Load() { return GetImage() != nullptr; }

    const std::string& GetFileName() const { return m_FileName; }
    // Does not drop an image already loaded.
    void SetFileName(const std::string& path) { m_FileName = path; }

private:
    std::string m_FileName;
};

}  // namespace Meridian
