#include "Analysis/TrackData.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "Analysis/SongFiles.h"
#include "Core/Log.h"

using namespace Meridian;

namespace {

const char Magic[4] = {'K', 'P', 'T', '0'};

void PutU32(unsigned char* at, U32 value) {
    at[0] = static_cast<unsigned char>(value);
    at[1] = static_cast<unsigned char>(value >> 8);
    at[2] = static_cast<unsigned char>(value >> 16);
    at[3] = static_cast<unsigned char>(value >> 24);
}

U32 GetU32(const unsigned char* at) {
    return static_cast<U32>(at[0]) | static_cast<U32>(at[1]) << 8 | static_cast<U32>(at[2]) << 16 |
           static_cast<U32>(at[3]) << 24;
}

void PutFloats(unsigned char* at, const F32* values, int count) {
    for (int i = 0; i < count; ++i) {
        U32 bits;
        std::memcpy(&bits, &values[i], 4);
        PutU32(at + 4 * i, bits);
    }
}

void GetFloats(const unsigned char* at, F32* values, int count) {
    for (int i = 0; i < count; ++i) {
        U32 bits = GetU32(at + 4 * i);
        std::memcpy(&values[i], &bits, 4);
    }
}

bool WriteAll(FILE* file, const unsigned char* bytes, size_t size) {
    return std::fwrite(bytes, 1, size, file) == size;
}

bool ReadAll(FILE* file, unsigned char* bytes, size_t size) { return std::fread(bytes, 1, size, file) == size; }

bool WriteTrack(FILE* file, const TrackData& data) {
    unsigned char header[8];
    std::memcpy(header, Magic, 4);
    PutU32(header + 4, static_cast<U32>(static_cast<I32>(data.Time.size())));
    if (!WriteAll(file, header, sizeof(header))) return false;
    unsigned char field[12];
    for (size_t i = 0; i < data.Time.size(); ++i) {
        PutFloats(field, &data.Time[i], 1);
        if (!WriteAll(file, field, 4)) return false;
        PutFloats(field, data.Flux[i].data(), 3);
        if (!WriteAll(file, field, 12)) return false;
        PutFloats(field, data.Threshold[i].data(), 3);
        if (!WriteAll(file, field, 12)) return false;
    }
    // Reach the disk before the rename makes the file count as existing.
    return std::fflush(file) == 0 && fsync(fileno(file)) == 0;
}

}  // namespace

std::string TrackData::TrackPath(const std::string& songPath) { return SongFiles::BesidePath(songPath, ".kpt"); }

std::string TrackData::ReadPath(const std::string& songPath) { return SongFiles::ReadPath(songPath, ".kpt"); }

bool TrackData::SaveTo(const std::string& songPath) const {
    if (Flux.size() != Time.size() || Threshold.size() != Time.size()) return false;
    const std::string path = SongFiles::WritePath(songPath, ".kpt");
    if (!SongFiles::MakeParentFolders(path)) return false;
    const std::string temporary = path + ".tmp";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return false;
    bool written = WriteTrack(file, *this);
    if (std::fclose(file) != 0) written = false;
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

bool TrackData::LoadFrom(const std::string& songPath) {
    const std::string path = ReadPath(songPath);
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    for (int i = 0; i < 4; ++i) {
        int byte = std::fgetc(file);
        if (byte == EOF || byte != static_cast<unsigned char>(Magic[i])) {
            LogE() << "LoadFrom" << ": invalid header.";
            std::fclose(file);
            return false;
        }
    }
    unsigned char field[12];
    if (!ReadAll(file, field, 4)) {
        LogE() << "LoadFrom" << ": cant read number of control points.";
        std::fclose(file);
        return false;
    }
    const I32 count = static_cast<I32>(GetU32(field));

    Flux.clear();
    Threshold.clear();
    Time.clear();
    // Reserve no more than the file can hold, whatever N claims.
    long here = std::ftell(file);
    if (count > 0 && here >= 0 && std::fseek(file, 0, SEEK_END) == 0) {
        long end = std::ftell(file);
        size_t records = end > here ? static_cast<size_t>(end - here) / 28 : 0;
        if (records > static_cast<size_t>(count)) records = static_cast<size_t>(count);
        Flux.reserve(records);
        Threshold.reserve(records);
        Time.reserve(records);
        std::fseek(file, here, SEEK_SET);
    }
    bool complete = true;
    for (I32 i = 0; i < count && complete; ++i) {
        F32 time;
        Bands bands;
        complete = ReadAll(file, field, 4);
        if (!complete) break;
        GetFloats(field, &time, 1);
        Time.push_back(time);
        complete = ReadAll(file, field, 12);
        if (!complete) break;
        GetFloats(field, bands.data(), 3);
        Flux.push_back(bands);
        complete = ReadAll(file, field, 12);
        if (!complete) break;
        GetFloats(field, bands.data(), 3);
        Threshold.push_back(bands);
    }
    std::fclose(file);
    return complete;
}
