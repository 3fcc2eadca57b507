// HiscoreTable: the ten best scores of one song, their file, their display
// as three columns (place, name, score) and the name entry of a freshly
// inserted score, by d-pad (stepping through a 37-character alphabet) or by
// keyboard.
//
// File (the song's path + ".scr", beside the song or under the data folder:
// see Analysis/SongFiles.h): a 32-bit version (1; readers accept
// anything below 2), then up to 10 records best first: score, name length L
// and L name bytes; integers little-endian two's complement. Only positive
// scores are stored. A damaged record (short read, length 0, negative or over
// MaxStoredName) ends the list: earlier records are kept. Save writes a
// temporary file beside the table's file and renames it into place, so a
// failed or interrupted save leaves the old file as it was. A file that
// exists but did not load whole (unreadable, bad version, damaged record) is
// not overwritten blindly: Save first moves it to the path + ".damaged"
// (one per song, replacing an older one) and logs that it did.
//
// Name entry runs while GetEditIndex() >= 0; only a freshly inserted entry
// (20 blanks) is edited. The owner ends it with SetEditIndex(-1) + Refresh.
// Depends on: Meridian scene (Transform, TextGeometry, Shader,
// FontTexture2D), stdio and POSIX file calls.
#pragma once

#include <string>
#include <vector>

#include "Scene/Shader.h"
#include "Scene/TextGeometry.h"
#include "Scene/Transform.h"

class HiscoreTable : public Meridian::Transform {
    MERIDIAN_CLASS(HiscoreTable, Meridian::Transform)

    static const Meridian::I32 EntryCount = 10;
    static const Meridian::I32 NameLength = 20;
    // Longest name a file may hold; longer lengths count as damage.
    static const Meridian::I32 MaxStoredName = 255;
    // "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 " (the last a blank).
    static const char* const Alphabet;
    static const Meridian::I32 AlphabetSize = 37;

    struct Entry {
        std::string m_Name;
        Meridian::I32 m_Score;
    };

    HiscoreTable();

    // The font shader of every text (texture 0 a FontTexture2D); null allowed.
    void SetFont(Meridian::Shader* font);

    // Replaces the table with the file's records and remembers path for Save.
    // False (one warning line) when the file cannot be opened or its version
    // is unreadable or 2 and above: the table is then empty. Only a regular
    // file is read (a FIFO of that name would block).
    bool Load(const std::string& path);
    // Saves to path from now on; a damaged file loaded from elsewhere is then
    // left where it is.
    void SetSavePath(const std::string& path);
    // Writes the table to the loaded path. False without a path or when the
    // file cannot be written (one error line); the previous file is intact.
    bool Save();
    // The loaded file exists but was not read whole; Save keeps it aside.
    bool IsDamaged() const { return m_Damaged; }
    // Offers a score: true when it enters (strictly above an entry), which
    // starts name entry on the new row.
    bool Insert(Meridian::I32 score);

    // Lays the rows out from the entries (creates them on the first call).
    void Refresh();
    // Pulses the edited row and blinks the cursor mark; delta in seconds.
    void Update(Meridian::Fixed delta);

    // Name entry (all do nothing while not editing).
    void NextPosition();
    void PreviousPosition(bool erase);
    void NextChar();
    void PreviousChar();
    // Keyboard: alphabet bytes set the character and advance, 8 erases the
    // last one, 13 ends name entry; other bytes are ignored.
    void TypeChar(Meridian::U8 key);

    Meridian::I32 GetEditIndex() const { return m_EditIndex; }
    void SetEditIndex(Meridian::I32 index) { m_EditIndex = index; }
    Meridian::I32 GetCursorPos() const { return m_CursorPos; }
    Meridian::I32 GetCharIndex() const { return m_CharIndex; }
    const Entry& GetEntry(Meridian::I32 index) const { return m_Entries[index]; }
    const std::string& GetPath() const { return m_Path; }
    // Row texts (null before the first Refresh).
    Meridian::TextGeometry* GetPlaceText(Meridian::I32 row) const { return RowText(m_PlaceTexts, row); }
    Meridian::TextGeometry* GetNameText(Meridian::I32 row) const { return RowText(m_NameTexts, row); }
    Meridian::TextGeometry* GetScoreText(Meridian::I32 row) const { return RowText(m_ScoreTexts, row); }

    // Alphabet position of c, 0 ("A") for characters outside it.
    static Meridian::I32 CharIndexOf(char c);

private:
    typedef std::vector<Meridian::Ref<Meridian::TextGeometry>> TextRow;
    static Meridian::TextGeometry* RowText(const TextRow& texts, Meridian::I32 row) {
        return row >= 0 && row < static_cast<Meridian::I32>(texts.size()) ? texts[row].Get() : nullptr;
    }
    void ClearEntries();
    // The edited name, padded to NameLength so the cursor is always inside.
    std::string& EditedName();
    void SetCharUnderCursor(char c) { EditedName()[m_CursorPos] = c; }
    void MoveCursor(Meridian::I32 position);
    Meridian::TextGeometry* MakeText(Meridian::Fixed x, Meridian::Fixed y);

    std::string m_Path;
    std::vector<Entry> m_Entries;
    Meridian::I32 m_EditIndex;
    Meridian::Ref<Meridian::Shader> m_Font;
    TextRow m_PlaceTexts;
    TextRow m_NameTexts;
    TextRow m_ScoreTexts;
    Meridian::I32 m_CursorPos;
    Meridian::I32 m_CharIndex;
    Meridian::Fixed m_BlinkTime;
    bool m_Damaged;
};
