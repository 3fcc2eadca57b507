#include "Front/FileBrowser.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "Core/Log.h"
#include "Core/Utf8.h"
#include "Math/MathFunctions.h"
#include "Scene/FontTexture2D.h"

using namespace Meridian;

namespace {

// Colour of the cursor's line right after layout, and the hue it pulses in.
const F32 CursorColor[4] = {1.0f, 0.25f, 0.25f, 1.0f};
const F32 HighlightColor[3] = {89.0f / 255.0f, 192.0f / 255.0f, 223.0f / 255.0f};
const char* const MarqueeSeparator = " +++ ";
const F32 MessageColor[4] = {1.0f, 0.6f, 0.25f, 1.0f};
const I32 MessageLine = 2;  // below "..", one line left free

// "X/.." named by its letters: the parent folder of X (for a folder X that
// realpath cannot resolve, such as a missing one); empty for anything else.
std::string LexicalParent(const std::string& path) {
    std::string base = path;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (base.size() < 3 || base.compare(base.size() - 3, 3, "/..") != 0) return std::string();
    base.erase(base.size() - 3);
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    const size_t slash = base.rfind('/');
    const std::string last = slash == std::string::npos ? base : base.substr(slash + 1);
    if (last == "." || last == "..") return base + "/..";
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : base.substr(0, slash);
}

// Folders before files, then names without regard to letter case.
int CompareEntries(const void* a, const void* b) {
    const FileBrowser::Entry* x = *static_cast<const FileBrowser::Entry* const*>(a);
    const FileBrowser::Entry* y = *static_cast<const FileBrowser::Entry* const*>(b);
    if (x->m_IsFolder != y->m_IsFolder) return x->m_IsFolder ? -1 : 1;
    return strcasecmp(x->m_Name.c_str(), y->m_Name.c_str());
}

// The extension, in any letter case, must occur first exactly at the end:
// "a.ogg.ogg" does not pass, "song.OGG" does.
bool EndsWithFirstOccurrence(const std::string& name, const std::string& extension) {
    const char* found = strcasestr(name.c_str(), extension.c_str());
    return found && static_cast<size_t>(found - name.c_str()) + extension.size() == name.size();
}

std::string Decorate(const std::string& text, bool folder) { return folder ? "[" + text + "]" : text; }

// 0.8 + 0.2 x sin(360 degrees x t): one pulse per second. Only the fraction of
// t matters, which keeps the angle inside the Fixed range however long it runs.
Fixed PulseFactor(Fixed seconds) {
    const Fixed fraction = Fixed::FromRaw(seconds.Raw() & 0xFFFF);
    return Fixed::FromRaw(52428) + Fixed::FromRaw(13107) * Sin(fraction * Fixed::FromInt(360));
}

}  // namespace

FileBrowser::FileBrowser() : m_Cursor(-1) {
    SetTranslation({Fixed::FromInt(-140), Fixed::FromInt(60), Fixed::Zero});
}

FileBrowser::~FileBrowser() { LogD() << "~FileBrowser"; }

void FileBrowser::SetFont(Shader* font) {
    m_Font = font;
    for (const Ref<TextGeometry>& line : m_Lines) line->SetShader(font);
    if (m_MessageText) m_MessageText->SetShader(font);
}

void FileBrowser::AddExtension(const std::string& text) {
    for (const std::string& extension : m_Extensions)
        if (extension == text) return;
    m_Extensions.push_back(text);
}

void FileBrowser::SetPath(const std::string& path) {
    if (path.empty() || path == m_Path) {
        Layout();
        return;
    }
    std::string resolved = path;
    char buffer[PATH_MAX];
    const std::string parent = LexicalParent(path);
    if (realpath(path.c_str(), buffer))
        resolved = buffer;
    else if (!parent.empty())
        resolved = realpath(parent.c_str(), buffer) ? buffer : parent;
    if (resolved.empty() || resolved.back() != '/') resolved += '/';
    m_Path = resolved;
    RebuildFileList();
    Layout();
}

void FileBrowser::RebuildFileList() {
    LogD() << "FileBrowser::RebuildFileList";
    m_Entries.clear();
    m_Message.clear();
    DIR* dir = opendir(m_Path.c_str());
    if (!dir) {
        m_Message = std::string("Cannot read this folder: ") + strerror(errno) + ".";
        LogE() << "opendir failed on \"" << m_Path << "\"";
        // The way out stays open.
        m_Entries.push_back(Entry{m_Path, "..", 1});
        m_Cursor = 0;
        return;
    }
    while (const dirent* item = readdir(dir)) {
        const std::string name = item->d_name;
        const std::string full = m_Path + name;
        struct stat info;
        if (stat(full.c_str(), &info) != 0) {
            LogE() << "FileBrowser: stat failed \"" << strerror(errno) << "\"";
            continue;
        }
        // "." is never offered: choosing it would only show the same folder
        // (as a folder) or yield a song path naming a folder (as a file).
        if (name == ".") continue;
        if (S_ISDIR(info.st_mode)) {
            m_Entries.push_back(Entry{m_Path, name, 1});
            continue;
        }
        // A FIFO or device with a song's name would block whoever reads it.
        if (!S_ISREG(info.st_mode)) continue;
        bool accepted = m_Extensions.empty();
        for (size_t i = 0; i < m_Extensions.size() && !accepted; ++i)
            accepted = EndsWithFirstOccurrence(name, m_Extensions[i]);
        if (accepted) m_Entries.push_back(Entry{m_Path, name, 0});
    }
    closedir(dir);
    m_Cursor = m_Entries.empty() ? -1 : 0;
}

void FileBrowser::Rescan() {
    const Entry* current = GetCurrentEntry();
    const std::string name = current ? current->m_Name : std::string();
    RebuildFileList();
    Layout();  // sorted now, so the entry is found where it is shown
    for (size_t i = 0; i < m_Entries.size(); ++i)
        if (m_Entries[i].m_Name == name && static_cast<I32>(i) != m_Cursor) {
            m_Cursor = static_cast<I32>(i);
            Layout();
            break;
        }
}

void FileBrowser::Layout() {
    Fixed glyphWidth, h;
    if (m_Font)
        if (FontTexture2D* font = Cast<FontTexture2D>(m_Font->GetTexture(0))) font->GetGlyphSize(glyphWidth, h);
    m_SelectedLine.Reset();

    if (m_Lines.empty()) {
        for (I32 i = 0; i < VisibleLines; ++i) {
            Transform* holder = New<Transform>();
            holder->SetTranslation({Fixed::Zero, -(h * Fixed::FromInt(i)), Fixed::Zero});
            holder->SetParent(this);
            TextGeometry* line = New<TextGeometry>();
            line->SetShader(m_Font);
            line->SetParent(holder);
            m_Lines.push_back(Ref<TextGeometry>(line));
        }
    }

    const I32 n = static_cast<I32>(m_Entries.size());
    if (n > 1) {
        // qsort needs plain elements: sort pointers, then reorder the entries.
        std::vector<Entry*> order;
        order.reserve(m_Entries.size());
        for (Entry& entry : m_Entries) order.push_back(&entry);
        qsort(order.data(), order.size(), sizeof(Entry*), &CompareEntries);
        std::vector<Entry> sorted;
        sorted.reserve(m_Entries.size());
        for (Entry* entry : order) sorted.push_back(std::move(*entry));
        m_Entries.swap(sorted);
    }

    I32 used = 0;
    if (n >= 1 && m_Cursor < n) {
        const I32 first = m_Cursor + 10 >= n ? n - VisibleLines : m_Cursor - 10;
        for (I32 index = first; index < n && used < VisibleLines; ++index) {
            if (index < 0) continue;
            const Entry& entry = m_Entries[index];
            TextGeometry* line = m_Lines[used++];
            line->SetEnabled(1);
            std::string text = entry.m_Name;
            if (Utf8::Length(text) > static_cast<size_t>(MaxNameLength)) text = Utf8::Prefix(text, MaxNameLength) + "...";
            line->SetText(Decorate(text, entry.m_IsFolder != 0).c_str());
            if (index == m_Cursor) {
                line->SetColor(CursorColor[0], CursorColor[1], CursorColor[2], CursorColor[3]);
                m_SelectedLine = line;
            } else {
                line->SetColor(1.0f, 1.0f, 1.0f, 1.0f);
            }
        }
    }
    for (I32 i = used; i < VisibleLines; ++i) m_Lines[i]->SetEnabled(0);
    m_SelectedTime = Fixed::Zero;

    if (!m_MessageText && !m_Message.empty()) {
        Transform* holder = New<Transform>();
        holder->SetTranslation({Fixed::Zero, -(h * Fixed::FromInt(MessageLine)), Fixed::Zero});
        holder->SetParent(this);
        m_MessageText = New<TextGeometry>();
        m_MessageText->SetShader(m_Font);
        m_MessageText->SetColor(MessageColor[0], MessageColor[1], MessageColor[2], MessageColor[3]);
        m_MessageText->SetParent(holder);
    }
    if (m_MessageText) {
        m_MessageText->SetText(m_Message.c_str());
        m_MessageText->SetEnabled(m_Message.empty() ? 0 : 1);
    }
}

void FileBrowser::Update(Fixed delta) {
    if (!m_SelectedLine) return;
    m_SelectedTime += delta;

    const F32 k = PulseFactor(m_SelectedTime).ToFloat();
    m_SelectedLine->SetColor(HighlightColor[0] * k, HighlightColor[1] * k, HighlightColor[2] * k, 1.0f);

    const Entry* entry = GetCurrentEntry();
    if (!entry) return;
    std::string text = entry->m_Name;
    if (Utf8::Length(text) > static_cast<size_t>(MaxNameLength)) {
        const std::string ring = text + MarqueeSeparator;
        const size_t length = Utf8::Length(ring);
        // Four characters per second; 64-bit so the product cannot wrap.
        const I64 steps = (static_cast<I64>(m_SelectedTime.Raw()) * 4) >> 16;
        const size_t offset = static_cast<size_t>(steps % static_cast<I64>(length));
        text = Utf8::Slice(ring, offset, MaxNameLength);
        if (offset + MaxNameLength > length) text += Utf8::Prefix(ring, offset + MaxNameLength - length);
    }
    m_SelectedLine->SetText(Decorate(text, entry->m_IsFolder != 0).c_str());
}

void FileBrowser::CursorDown() {
    const I32 n = static_cast<I32>(m_Entries.size());
    if (n > 0) m_Cursor = m_Cursor + 1 >= n ? 0 : m_Cursor + 1;
    Layout();
}

void FileBrowser::CursorUp() {
    const I32 n = static_cast<I32>(m_Entries.size());
    if (n > 0) m_Cursor = m_Cursor - 1 < 0 ? n - 1 : m_Cursor - 1;
    Layout();
}

const FileBrowser::Entry* FileBrowser::GetCurrentEntry() const {
    if (m_Cursor < 0 || m_Cursor >= static_cast<I32>(m_Entries.size())) return nullptr;
    return &m_Entries[m_Cursor];
}

void FileBrowser::EnterFolder() {
    const Entry* entry = GetCurrentEntry();
    if (!entry || !entry->m_IsFolder) return;
    // Copied first: SetPath rescans and frees the entry.
    const std::string path = entry->m_Folder + "/" + entry->m_Name;
    SetPath(path);
}

TextGeometry* FileBrowser::GetLine(I32 index) const {
    return index >= 0 && index < static_cast<I32>(m_Lines.size()) ? m_Lines[index].Get() : nullptr;
}
