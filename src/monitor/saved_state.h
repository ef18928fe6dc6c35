// A job's last snapshot as a compact file, so that the next start of
// monitoring compares with it instead of taking everything as there before.
//
// Little-endian: "VLMS", a 32-bit format version, then in unsigned LEB128
// numbers (signed ones zigzagged) the watched folder, the masks of the files
// it counts, the subfolders switch,
// the zone offset of the read, the tree, the stand-ins and the files still
// owed (each with whether it was found changed); last a 64-bit checksum of everything before it. A
// folder is its file count, its files, its subfolder count and its subfolders, each with its name
// and its own folder. A file is how many units its name shares with the name before it, the rest of
// its name, its time as a difference from the time before it, and its size.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/dir.h"
#include "monitor/job_watch.h"

struct SavedState {
    std::u16string dirname, masks;
    bool subdirs = false;
    int64_t bias = 0;  // the zone offset the tree was read under
    TDir dir{};        // the caller's to release
    std::vector<StandIn> standIns;
    std::vector<Owed> owed;  // without their full paths
};

// The file for a snapshot of `dirname`, leaving out the files of `owed`.
std::string EncodeState(const TDir& dir, std::u16string_view dirname, std::u16string_view masks,
                        bool subdirs, int64_t bias, const std::vector<StandIn>& standIns,
                        const std::vector<Owed>& owed);

// The whole state, its arrays publishing their cursors into `adir` and
// `afile`, or false and nothing: a damaged, truncated or foreign file is never
// half taken. Memory taken stays within a small multiple of the file's size.
bool DecodeState(std::string_view file, TDir** adir, TDir** afile, SavedState& state);

// The sum a state file ends with, of all the bytes before it.
uint64_t StateChecksum(std::string_view bytes);

// Frees a tree DecodeState made, or what a failed decoding left of one.
void DiscardState(TDir& dir);

// Whether `state` was made for an entry watching `dirname` so, written as
// the entry writes it: a snapshot of other files would launch the files it
// lacks.
bool StateFits(const SavedState& state, std::u16string_view dirname, std::u16string_view masks,
               bool subdirs);

// The whole file at `path`, and a new one there, written in full or not at
// all.
bool ReadStateFile(std::u16string_view path, std::string& bytes);
bool WriteStateFile(std::u16string_view path, std::string_view bytes);

// The file name for the `nth` entry (from 0) watching `dirname` so.
std::u16string StateFileName(std::u16string_view dirname, std::u16string_view masks, bool subdirs,
                             uint32_t nth);
