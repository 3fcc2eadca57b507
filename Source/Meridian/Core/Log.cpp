#include "Core/Log.h"

#include <cstring>
#include <new>

#include "Core/Assert.h"
#include "Memory/Memory.h"

namespace Meridian {

namespace {

Log* g_Log = nullptr;

const TypeRecord& LogRecord() {
    static TypeRecord record(static_cast<I32>(sizeof(Log)), &Log::Destroy);
    return record;
}

}  // namespace

void Log::Destroy(void* pointer) {
    Log* log = static_cast<Log*>(pointer);
    if (log->m_Stream && log->m_Stream != stderr) std::fclose(log->m_Stream);
    log->~Log();
    Free(pointer);
}

void Log::Open(const char* target) {
    if (g_Log) return;
    FILE* stream = std::strcmp(target, ">console") == 0 ? stderr : std::fopen(target, "wt");
    g_Log = new (Allocate(sizeof(Log), LogRecord())) Log(stream);
    if (stream) *g_Log << "---- START  (BUILD: " << __DATE__ << " / " << __TIME__ << ") ----";
    g_Log->EndLine();
}

Log* Log::Get() { return g_Log; }

void Log::Close() {
    Log* log = g_Log;
    g_Log = nullptr;
    if (log) Destroy(log);
}

void Log::Write(const char* bytes, size_t length) {
    if (m_Stream && length) std::fwrite(bytes, 1, length, m_Stream);
}

Log& Log::operator<<(const char* text) {
    if (text) Write(text, std::strlen(text));
    return *this;
}

Log& Log::operator<<(const std::string& text) {
    Write(text.data(), text.size());
    return *this;
}

Log& Log::operator<<(Quoted quoted) {
    Write("\"", 1);
    Write(quoted.text, quoted.length);
    Write("\"", 1);
    return *this;
}

Log::Quoted Log::Quote(const char* text) {
    return Quoted{text ? text : "", text ? std::strlen(text) : 0};
}

Log& Log::operator<<(Hex hex) {
    if (m_Stream) std::fprintf(m_Stream, "0x%llx", static_cast<unsigned long long>(hex.value));
    return *this;
}

Log& Log::operator<<(I32 value) {
    if (m_Stream) std::fprintf(m_Stream, "%d", value);
    return *this;
}

Log& Log::operator<<(U32 value) { return *this << static_cast<I32>(value); }

Log& Log::operator<<(I64 value) {
    if (m_Stream) std::fprintf(m_Stream, "%lld", static_cast<long long>(value));
    return *this;
}

Log& Log::operator<<(U64 value) {
    if (m_Stream) std::fprintf(m_Stream, "%llu", static_cast<unsigned long long>(value));
    return *this;
}

Log& Log::operator<<(F64 value) {
    if (m_Stream) std::fprintf(m_Stream, "%f", value);
    return *this;
}

Log& Log::EndLine() {
    Write("\n", 1);
    return *this;
}

namespace {
bool g_DebugShown = true;
}  // namespace

void Log::SetDebugShown(bool shown) { g_DebugShown = shown; }

bool Log::IsDebugShown() { return g_DebugShown; }

LogLine::LogLine(const char* prefix) : m_Log(Log::Get()) {
    if (!g_DebugShown && std::strcmp(prefix, "[D] ") == 0) m_Log = nullptr;
    if (m_Log) *m_Log << prefix;
}

LogLine::~LogLine() {
    if (m_Log) m_Log->EndLine();
}

void AssertFailed(const char* file, int line, const char* expression) {
    if (Log* log = Log::Get()) {
        *log << "[E] " << file << "(" << static_cast<I32>(line) << ") " << expression;
        log->EndLine();
        if (log->GetStream()) std::fflush(log->GetStream());
    } else {
        std::fprintf(stderr, "[E] %s(%d) %s\n", file, line, expression);
    }
    std::abort();
}

}  // namespace Meridian
