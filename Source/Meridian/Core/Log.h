// The process-wide diagnostic log.
//
// One log per process, opened by the entry point before anything else and
// closed as its last step. A target of ">console" writes to standard error;
// any other target is a file opened with "wt". Lines are built by chaining:
//
//     LogE() << "App::Init: Render's Init failed.";
//
// LogE/LogW/LogI/LogD write the severity prefix ("[E] ", "[W] ", "[I] ",
// "[D] ") and the returned line object ends the line when the statement ends.
// Writes while no log is open, or when the file could not be opened, are
// dropped silently. Debug lines are written unless SetDebugShown(false)
// hides them (the game's terminal shows them only with --verbose); the other
// lines and their order are the same either way. Single-threaded use only.
#pragma once

#include <cstdio>
#include <string>

#include "Core/Types.h"

namespace Meridian {

class Log {
public:
    // Wrappers selecting the quoted and hexadecimal forms.
    struct Quoted { const char* text; size_t length; };
    struct Hex { U64 value; };

    static void Open(const char* target);
    static Log* Get();
    static void Close();
    // Whether LogD lines are written (default true).
    static void SetDebugShown(bool shown);
    static bool IsDebugShown();

    Log& operator<<(const char* text);
    Log& operator<<(const std::string& text);
    Log& operator<<(Quoted quoted);
    Log& operator<<(Hex hex);
    Log& operator<<(I32 value);
    Log& operator<<(U32 value);  // printed as "%d": 4294967295 prints -1
    Log& operator<<(I64 value);
    Log& operator<<(U64 value);
    Log& operator<<(F64 value);  // "%f"
    Log& operator<<(F32 value) { return *this << static_cast<F64>(value); }
    Log& EndLine();

    FILE* GetStream() const { return m_Stream; }

    // Destroy function of the log's type record: closes a file stream (never
    // standard error) and frees the block.
    static void Destroy(void* log);

    static Quoted Quote(const char* text);
    static Quoted Quote(const std::string& text) { return Quoted{text.c_str(), text.size()}; }
    static Hex AsHex(U64 value) { return Hex{value}; }
    static Hex AsHex(U32 value) { return Hex{value}; }
    static Hex AsHex(I32 value) { return Hex{static_cast<U32>(value)}; }
    static Hex AsHex(const void* pointer) { return Hex{reinterpret_cast<uintptr_t>(pointer)}; }

private:
    explicit Log(FILE* stream) : m_Stream(stream) {}
    void Write(const char* bytes, size_t length);

    FILE* m_Stream;
};

// One log line: the prefix on construction, the newline on destruction.
class LogLine {
public:
    explicit LogLine(const char* prefix);
    ~LogLine();
    LogLine(const LogLine&) = delete;
    LogLine& operator=(const LogLine&) = delete;

    template <class T>
    LogLine& operator<<(const T& value) {
        if (m_Log) *m_Log << value;
        return *this;
    }
    LogLine& operator<<(const char* text) {
        if (m_Log) *m_Log << text;
        return *this;
    }

private:
    Log* m_Log;
};

inline LogLine LogE() { return LogLine("[E] "); }
inline LogLine LogW() { return LogLine("[W] "); }
inline LogLine LogI() { return LogLine("[I] "); }
inline LogLine LogD() { return LogLine("[D] "); }

}  // namespace Meridian
