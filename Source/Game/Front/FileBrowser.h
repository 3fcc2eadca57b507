// FileBrowser: the song selection list, a Transform that lists one folder.
//
// It shows the folder's sub-folders (".." included, so the player can always
// climb) and the regular files (or links to them) whose names end in one of
// the accepted extensions, folders first, each group in case-insensitive name
// order. A folder that cannot be read still offers "..", with a one-line
// reason below it (GetMessage), so the list is never a dead end. At most 21 lines
// are drawn, one TextGeometry each, stacked downwards from the browser's
// origin one nominal glyph height of the font apart; the window follows the
// cursor, which sits on the 11th line while the list scrolls. The selected
// line pulses, and a name longer than 40 characters scrolls through it like a
// marquee. SetPath scans when it changes the folder; Rescan reads the same
// folder again (the owner does on every visit, so new songs appear).
//
// Paths: SetPath resolves its argument with realpath (unchanged when that
// fails, except that "X/.." of a folder X that cannot be resolved becomes X's
// parent by name) and keeps it ending in "/"; the song path of a file entry
// is GetCurrentPath() + entry name.
// Depends on: Meridian scene (Transform, TextGeometry, Shader, FontTexture2D),
// POSIX directory functions.
#pragma once

#include <string>
#include <vector>

#include "Scene/Shader.h"
#include "Scene/TextGeometry.h"
#include "Scene/Transform.h"

class FileBrowser : public Meridian::Transform {
    MERIDIAN_CLASS(FileBrowser, Meridian::Transform)

    static const Meridian::I32 VisibleLines = 21;
    // Names longer than this are cut with "..." or scroll when selected.
    static const Meridian::I32 MaxNameLength = 40;

    struct Entry {
        std::string m_Folder;  // m_Path at scan time, ending in "/"
        std::string m_Name;    // the directory entry's name
        Meridian::U8 m_IsFolder;
    };

    FileBrowser();
    ~FileBrowser() override;

    // The font shader of every line (texture 0 a FontTexture2D); null allowed.
    void SetFont(Meridian::Shader* font);
    // Accepts files whose name ends in text in any letter case (its first
    // occurrence must be the end: "a.ogg.ogg" is not accepted); no
    // extensions accept every file. Duplicates are ignored.
    void AddExtension(const std::string& text);

    // Changes folder, rescans and lays out; an empty path or the current path
    // only lays out again.
    void SetPath(const std::string& path);
    // Rescans m_Path: entries unsorted until the next layout. The cursor is 0,
    // or -1 when nothing was found. A folder that cannot be read yields ".."
    // alone and sets the message.
    void RebuildFileList();
    // Reads the current folder again and lays out, the cursor staying on the
    // entry of the same name when it is still there.
    void Rescan();
    // Why the folder could not be read, as shown below ".."; empty otherwise.
    const std::string& GetMessage() const { return m_Message; }
    // Sorts the entries and rebuilds the visible lines around the cursor.
    void Layout();
    // Pulses and scrolls the selected line; delta in seconds.
    void Update(Meridian::Fixed delta);

    // Move by one with wrap-around, then lay out.
    void CursorDown();
    void CursorUp();
    // The entry under the cursor, or null; valid until the next rescan.
    const Entry* GetCurrentEntry() const;
    std::string GetCurrentPath() const { return m_Path; }
    // Enters the current entry when it is a folder.
    void EnterFolder();

    Meridian::I32 GetCursor() const { return m_Cursor; }
    Meridian::U32 GetEntryCount() const { return static_cast<Meridian::U32>(m_Entries.size()); }
    const Entry& GetEntry(Meridian::U32 index) const { return m_Entries[index]; }
    // Line 0 .. VisibleLines - 1 (null before the first layout); a line is
    // shown while its node is enabled.
    Meridian::TextGeometry* GetLine(Meridian::I32 index) const;
    Meridian::TextGeometry* GetSelectedLine() const { return m_SelectedLine; }

private:
    std::vector<std::string> m_Extensions;
    std::string m_Path;
    std::vector<Entry> m_Entries;
    Meridian::I32 m_Cursor;
    Meridian::Ref<Meridian::Shader> m_Font;
    std::vector<Meridian::Ref<Meridian::TextGeometry>> m_Lines;
    Meridian::Ref<Meridian::TextGeometry> m_SelectedLine;
    std::string m_Message;
    Meridian::Ref<Meridian::TextGeometry> m_MessageText;
    Meridian::Fixed m_SelectedTime;
};
