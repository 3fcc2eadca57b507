#include "Front/HiscoreTable.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "Core/Assert.h"
#include "Core/Log.h"
#include "Core/RegularFile.h"
#include "Math/MathFunctions.h"
#include "Scene/FontTexture2D.h"

using namespace Meridian;

const char* const HiscoreTable::Alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 ";

namespace {

const I32 FileVersion = 1;
const char* const EmptyName = "____________________";
const F32 HighlightColor[3] = {89.0f / 255.0f, 192.0f / 255.0f, 223.0f / 255.0f};

bool ReadI32(FILE* file, I32& value) {
    U8 bytes[4];
    if (fread(bytes, 1, 4, file) != 4) return false;
    const U32 bits = static_cast<U32>(bytes[0]) | static_cast<U32>(bytes[1]) << 8 |
                     static_cast<U32>(bytes[2]) << 16 | static_cast<U32>(bytes[3]) << 24;
    memcpy(&value, &bits, 4);
    return true;
}

bool WriteI32(FILE* file, I32 value) {
    U32 bits;
    memcpy(&bits, &value, 4);
    const U8 bytes[4] = {static_cast<U8>(bits), static_cast<U8>(bits >> 8), static_cast<U8>(bits >> 16),
                         static_cast<U8>(bits >> 24)};
    return fwrite(bytes, 1, 4, file) == 4;
}

// 0.8 + 0.2 x sin(360 degrees x t); only the fraction of t matters.
Fixed PulseFactor(Fixed seconds) {
    const Fixed fraction = Fixed::FromRaw(seconds.Raw() & 0xFFFF);
    return Fixed::FromRaw(52428) + Fixed::FromRaw(13107) * Sin(fraction * Fixed::FromInt(360));
}

std::string Format(const char* format, I32 value) {
    char text[32];
    snprintf(text, sizeof(text), format, value);
    return text;
}

}  // namespace

HiscoreTable::HiscoreTable() : m_EditIndex(-1), m_CursorPos(0), m_CharIndex(0), m_Damaged(false) {
    ClearEntries();
    SetTranslation({Fixed::FromInt(-60), Fixed::FromInt(40), Fixed::Zero});
}

void HiscoreTable::ClearEntries() { m_Entries.assign(EntryCount, Entry{EmptyName, 0}); }

I32 HiscoreTable::CharIndexOf(char c) {
    for (I32 i = AlphabetSize - 1; i >= 0; --i)
        if (Alphabet[i] == c) return i;
    return 0;
}

void HiscoreTable::SetFont(Shader* font) {
    m_Font = font;
    for (const TextRow* row : {&m_PlaceTexts, &m_NameTexts, &m_ScoreTexts})
        for (const Ref<TextGeometry>& text : *row) text->SetShader(font);
}

bool HiscoreTable::Load(const std::string& path) {
    m_EditIndex = -1;
    ClearEntries();
    m_Path = path;
    m_Damaged = false;

    FILE* file = OpenRegularFile(path);
    if (!file) {
        // A missing table is simply new; anything else there is kept on save.
        m_Damaged = errno != ENOENT;
        LogW() << "\"" << path << "\" failed to open for reading.";
        return false;
    }
    I32 version = 0;
    if (!ReadI32(file, version) || version >= 2) {
        LogW() << "\"" << path << "\" failed to read version.";
        fclose(file);
        m_Damaged = true;
        return false;
    }
    I32 count = 0;
    for (; count < EntryCount; ++count) {
        // The file may end only between records.
        const int next = fgetc(file);
        if (next == EOF) break;
        ungetc(next, file);
        m_Damaged = true;
        I32 score = 0, length = 0;
        if (!ReadI32(file, score) || !ReadI32(file, length)) break;
        // A zero length reads nothing and ends the list like a short read; a
        // negative or huge one is damage, not a size to allocate.
        if (length == 0) break;
        if (length < 0 || length > MaxStoredName) {
            LogW() << "HiscoreTable::Load: \"" << path << "\" record " << count + 1
                   << " has a bad name length, later records ignored.";
            break;
        }
        char name[MaxStoredName];
        if (fread(name, 1, static_cast<size_t>(length), file) != static_cast<size_t>(length)) break;
        m_Entries[count] = Entry{std::string(name, static_cast<size_t>(length)), score};
        m_Damaged = false;
    }
    fclose(file);
    LogD() << "\"" << path << "\" " << count << " hiscore entries.";
    return true;
}

void HiscoreTable::SetSavePath(const std::string& path) {
    if (path != m_Path) m_Damaged = false;
    m_Path = path;
}

bool HiscoreTable::Save() {
    if (m_Path.empty()) return false;

    // Written beside the file and renamed over it only when complete and on
    // the card, so a failed or interrupted save keeps the old table.
    const std::string temporary = m_Path + ".tmp";
    FILE* file = fopen(temporary.c_str(), "wb");
    if (!file) {
        LogE() << "\"" << m_Path << "\" failed top open for writing.";
        return false;
    }
    bool written = WriteI32(file, FileVersion);
    for (I32 i = 0; i < EntryCount && written; ++i) {
        const Entry& entry = m_Entries[i];
        if (entry.m_Score < 1) break;
        const I32 length = static_cast<I32>(entry.m_Name.size());
        written = WriteI32(file, entry.m_Score) && WriteI32(file, length) &&
                  fwrite(entry.m_Name.data(), 1, entry.m_Name.size(), file) == entry.m_Name.size();
    }
    written = fflush(file) == 0 && written;
    written = written && fsync(fileno(file)) == 0;
    written = fclose(file) == 0 && written;
    // A table that did not load whole may still hold scores worth saving by
    // hand: it moves aside rather than under the new one.
    const std::string damaged = m_Path + ".damaged";
    const bool keep = written && m_Damaged;
    const bool moved = keep && rename(m_Path.c_str(), damaged.c_str()) == 0;
    if (keep && !moved) written = errno == ENOENT;
    written = written && rename(temporary.c_str(), m_Path.c_str()) == 0;
    if (keep && written) {
        m_Damaged = false;
        LogW() << "HiscoreTable::Save: \"" << m_Path << "\" did not load whole; the damaged file is kept as \""
               << damaged << "\".";
    }
    if (!written) {
        const int error = errno;
        if (moved) rename(damaged.c_str(), m_Path.c_str());
        remove(temporary.c_str());
        LogE() << "\"" << m_Path << "\" failed to write (" << strerror(error) << "), old table kept.";
        return false;
    }
    sync();
    return true;
}

bool HiscoreTable::Insert(I32 score) {
    m_EditIndex = -1;
    I32 place = 0;
    while (place < EntryCount && m_Entries[place].m_Score >= score) ++place;
    if (place == EntryCount) return false;
    m_EditIndex = place;
    m_Entries.insert(m_Entries.begin() + place, Entry{std::string(NameLength, ' '), score});
    m_Entries.pop_back();
    m_CursorPos = 0;
    m_CharIndex = CharIndexOf(EditedName()[0]);
    return true;
}

std::string& HiscoreTable::EditedName() {
    MERIDIAN_ASSERT(m_EditIndex >= 0 && m_EditIndex < EntryCount);
    std::string& name = m_Entries[m_EditIndex].m_Name;
    if (name.size() < static_cast<size_t>(NameLength)) name.resize(NameLength, ' ');
    return name;
}

void HiscoreTable::MoveCursor(I32 position) {
    m_CursorPos = position < 0 ? 0 : position > NameLength - 1 ? NameLength - 1 : position;
    // A character outside the alphabet becomes "A".
    m_CharIndex = CharIndexOf(EditedName()[m_CursorPos]);
    SetCharUnderCursor(Alphabet[m_CharIndex]);
    Refresh();
}

void HiscoreTable::NextPosition() {
    if (m_EditIndex >= 0) MoveCursor(m_CursorPos + 1);
}

void HiscoreTable::PreviousPosition(bool erase) {
    if (m_EditIndex < 0) return;
    if (erase) SetCharUnderCursor(' ');
    MoveCursor(m_CursorPos - 1);
}

void HiscoreTable::NextChar() {
    if (m_EditIndex < 0) return;
    m_CharIndex = (m_CharIndex + 1) % AlphabetSize;
    SetCharUnderCursor(Alphabet[m_CharIndex]);
    Refresh();
}

void HiscoreTable::PreviousChar() {
    if (m_EditIndex < 0) return;
    m_CharIndex = m_CharIndex - 1 < 0 ? AlphabetSize - 1 : m_CharIndex - 1;
    SetCharUnderCursor(Alphabet[m_CharIndex]);
    Refresh();
}

void HiscoreTable::TypeChar(U8 key) {
    if (key == 13) {
        m_EditIndex = -1;
        Refresh();
        return;
    }
    if (m_EditIndex < 0) return;
    if (key == 8) {
        // Removes the character typed last: the cursor stands after it.
        SetCharUnderCursor(' ');
        MoveCursor(m_CursorPos - 1);
        SetCharUnderCursor(' ');
        m_CharIndex = CharIndexOf(' ');
        Refresh();
        return;
    }
    for (I32 i = 0; i < AlphabetSize; ++i) {
        if (static_cast<U8>(Alphabet[i]) == key) {
            m_CharIndex = i;
            SetCharUnderCursor(Alphabet[i]);
            NextPosition();
            return;
        }
    }
}

TextGeometry* HiscoreTable::MakeText(Fixed x, Fixed y) {
    Transform* holder = New<Transform>();
    holder->SetTranslation({x, y, Fixed::Zero});
    holder->SetParent(this);
    TextGeometry* text = New<TextGeometry>();
    text->SetShader(m_Font);
    text->SetParent(holder);
    return text;
}

void HiscoreTable::Refresh() {
    Fixed w, h;
    if (m_Font)
        if (FontTexture2D* font = Cast<FontTexture2D>(m_Font->GetTexture(0))) font->GetGlyphSize(w, h);

    if (m_NameTexts.empty()) {
        for (I32 i = 0; i < EntryCount; ++i) {
            const Fixed y = -(h * Fixed::FromInt(i));
            TextGeometry* score = MakeText(w * Fixed::FromInt(15), y);
            score->SetStatic(ArrayAll);
            TextGeometry* name = MakeText(Fixed::Zero, y);
            TextGeometry* place = MakeText(-(w * Fixed::FromInt(4)), y);
            place->SetStatic(ArrayAll);
            m_ScoreTexts.push_back(Ref<TextGeometry>(score));
            m_NameTexts.push_back(Ref<TextGeometry>(name));
            m_PlaceTexts.push_back(Ref<TextGeometry>(place));
        }
    }

    for (I32 i = 0; i < EntryCount; ++i) {
        m_PlaceTexts[i]->SetText(Format("%02d.", i + 1).c_str());
        m_NameTexts[i]->SetText(m_Entries[i].m_Name.c_str());
        m_ScoreTexts[i]->SetText(Format("%05d", m_Entries[i].m_Score).c_str());
        if (m_EditIndex < 0) {
            m_PlaceTexts[i]->SetColor(1.0f, 1.0f, 1.0f, 1.0f);
            m_NameTexts[i]->SetColor(1.0f, 1.0f, 1.0f, 1.0f);
            m_ScoreTexts[i]->SetColor(1.0f, 1.0f, 1.0f, 1.0f);
        }
    }
}

void HiscoreTable::Update(Fixed delta) {
    if (m_NameTexts.empty()) Refresh();
    if (m_EditIndex < 0) return;
    m_BlinkTime += delta;

    const F32 k = PulseFactor(m_BlinkTime).ToFloat();
    const F32 r = HighlightColor[0] * k, g = HighlightColor[1] * k, b = HighlightColor[2] * k;
    m_PlaceTexts[m_EditIndex]->SetColor(r, g, b, 1.0f);
    m_NameTexts[m_EditIndex]->SetColor(r, g, b, 1.0f);
    m_ScoreTexts[m_EditIndex]->SetColor(r, g, b, 1.0f);

    // The cursor mark shows for the first fifth of every second.
    std::string shown = EditedName();
    const I64 fifths = (static_cast<I64>(m_BlinkTime.Raw()) * 5) >> 16;
    if (fifths % 5 == 0) shown[m_CursorPos] = '_';
    m_NameTexts[m_EditIndex]->SetText(shown.c_str());
}
