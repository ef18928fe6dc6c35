#include "storage/watch_list.h"

#include <cstring>

#include "platform/codepage.h"
#include "platform/file.h"
#include "ui/main_form.h"

namespace {

constexpr int kCsidlAppData = 26;
constexpr char kExactMagic[8] = {'V', 'l', 'm', 'U', 'T', 'F', '1', '6'};
constexpr uint32_t kExactVersion = 1;

void PutInt(std::string& out, uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

uint32_t GetInt(std::string_view in, size_t at) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t{static_cast<unsigned char>(in[at + i])} << (8 * i);
    return value;
}

uint32_t Crc32(std::string_view bytes) {
    uint32_t crc = 0xFFFFFFFF;
    for (char c : bytes) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

bool FitsCodePage(std::u16string_view text) {
    for (char16_t c : text)
        if (platform::Windows1252Byte(c) < 0) return false;
    return true;
}

}  // namespace

std::string IoErrorText(uint32_t code) {
    if (code == 5) return "File access denied";
    return "I/O error " + std::to_string(code);
}

void WriteFileString(std::string& file, std::string_view text) {
    PutInt(file, static_cast<uint32_t>(text.size()));
    file.append(text);
}

void FileReader::ReadExactly(void* buffer, size_t bytes) {
    uint32_t error = 0;
    size_t got = file_.Read(buffer, bytes, error);
    if (error) throw IoError(IoErrorText(error));
    if (got < bytes) throw IoError("Read beyond end of file");
}

int32_t FileReader::ReadInt() {
    unsigned char bytes[4];
    ReadExactly(bytes, 4);
    return static_cast<int32_t>(GetInt(std::string_view(reinterpret_cast<char*>(bytes), 4), 0));
}

std::string FileReader::ReadFileString() {
    int32_t n = ReadInt();
    if (n < 0) throw IoError("Read beyond end of file");
    std::string text;
    // Grown only by bytes that arrived, so that a length running past the
    // end of a small file never asks for more than the file holds.
    char chunk[4096];
    while (text.size() < static_cast<size_t>(n)) {
        const size_t want = std::min(sizeof chunk, static_cast<size_t>(n) - text.size());
        ReadExactly(chunk, want);
        text.append(chunk, want);
    }
    return text;
}

std::string FileReader::ReadRest(size_t limit) {
    std::string rest;
    char buffer[4096];
    uint32_t error = 0;
    while (rest.size() < limit) {
        size_t got = file_.Read(buffer, std::min(sizeof buffer, limit - rest.size()), error);
        rest.append(buffer, got);
        if (got == 0 || error) break;
    }
    return rest;
}

std::string EncodeWatchList(const std::vector<WatchRow>& rows) {
    std::string file;
    PutInt(file, static_cast<uint32_t>(rows.size()));
    bool exact = true;
    for (const WatchRow& row : rows) {
        for (const std::u16string& cell : row) {
            WriteFileString(file, platform::ToWindows1252(cell));
            exact = exact && FitsCodePage(cell);
        }
    }
    if (exact) return file;

    std::string payload;
    PutInt(payload, static_cast<uint32_t>(rows.size()));
    for (const WatchRow& row : rows) {
        for (const std::u16string& cell : row) {
            PutInt(payload, static_cast<uint32_t>(cell.size()));
            for (char16_t c : cell) payload += static_cast<char>(c & 0xFF), payload += static_cast<char>(c >> 8);
        }
    }
    file.append(kExactMagic, sizeof kExactMagic);
    PutInt(file, kExactVersion);
    PutInt(file, static_cast<uint32_t>(payload.size()));
    file += payload;
    PutInt(file, Crc32(payload));
    return file;
}

bool DecodeExactTexts(std::string_view tail, const std::vector<WatchRow>& rows, std::vector<WatchRow>& exact) {
    constexpr size_t kHead = sizeof kExactMagic + 8;
    if (tail.size() < kHead + 4 || std::memcmp(tail.data(), kExactMagic, sizeof kExactMagic) != 0) return false;
    if (GetInt(tail, 8) != kExactVersion) return false;
    uint32_t size = GetInt(tail, 12);
    if (size > tail.size() - kHead - 4) return false;
    std::string_view payload = tail.substr(kHead, size);
    if (Crc32(payload) != GetInt(tail, kHead + size)) return false;

    if (payload.size() < 4 || GetInt(payload, 0) != rows.size()) return false;
    size_t at = 4;
    std::vector<WatchRow> texts;
    for (const WatchRow& row : rows) {
        WatchRow& cells = texts.emplace_back();
        for (const std::u16string& read : row) {
            if (payload.size() - at < 4) return false;
            uint32_t units = GetInt(payload, at);
            at += 4;
            if ((payload.size() - at) / 2 < units) return false;
            std::u16string cell;
            for (uint32_t i = 0; i < units; ++i, at += 2)
                cell += static_cast<char16_t>(static_cast<unsigned char>(payload[at]) |
                                              static_cast<unsigned char>(payload[at + 1]) << 8);
            // The block must belong to these very records: a list rewritten
            // by a reader of the plain format carries no block, but anything
            // else that does not match is ignored too.
            if (platform::FromWindows1252(platform::ToWindows1252(cell)) != read) return false;
            cells.push_back(std::move(cell));
        }
    }
    if (at != payload.size()) return false;
    exact = std::move(texts);
    return true;
}

std::u16string TMainForm::GetProgramDir(bool create) {
    std::u16string folder;
    if (!toolkit_.SpecialFolder(kCsidlAppData, folder) || folder.empty()) return progpath;
    std::u16string path = AddBackslash(folder) + u"Brennick\\Valmorin\\";
    if (create) platform::CreateFolders(path);
    return path;
}

void TMainForm::Saveoptions() {
    std::vector<WatchRow> rows;
    for (int row = 0; row < ListView1->RowCount(); ++row) {
        WatchRow& cells = rows.emplace_back();
        for (int column = 0; column < gui::ListView::kColumns; ++column)
            cells.push_back(ListView1->Cell(row, column));
    }
    std::string image = EncodeWatchList(rows);

    // The new list is written beside the old one and takes its place only
    // when complete, so a failed save never costs the saved list.
    const std::u16string path = GetProgramDir(true) + u"options.dat";
    const std::u16string fresh = path + u".new";
    platform::File file;
    if (!file.Create(fresh)) throw IoError(IoErrorText(file.OpenError()));
    uint32_t error = 0;
    bool written = file.Write(image.data(), image.size(), error) == image.size();
    if (written) file.Flush(error);
    file.Close();
    if (!written || error || !platform::ReplaceWith(fresh, path, error)) {
        platform::RemoveFile(fresh);
        throw IoError(error ? IoErrorText(error) : "Disk full");
    }
}

void TMainForm::Loadoptions() {
    platform::File file;
    if (!file.OpenRead(GetProgramDir(true) + u"options.dat")) return;
    ListView1->BeginUpdate();
    ListView1->Clear();
    std::vector<WatchRow> rows;
    try {
        FileReader reader(file);
        int32_t count = 0;
        try {
            count = reader.ReadInt();
        } catch (const IoError&) {
            count = 0;  // a file shorter than its count is an empty list
        }
        for (int32_t i = 0; i < count; ++i) {
            WatchRow cells;
            for (int column = 0; column < gui::ListView::kColumns; ++column)
                cells.push_back(platform::FromWindows1252(reader.ReadFileString()));
            int row = ListView1->AddRow();
            for (int column = 0; column < gui::ListView::kColumns; ++column)
                ListView1->SetCell(row, column, cells[column]);
            rows.push_back(std::move(cells));
        }
        std::vector<WatchRow> exact;
        if (!rows.empty() && DecodeExactTexts(reader.ReadRest(64u << 20), rows, exact)) {
            for (int row = 0; row < static_cast<int>(exact.size()); ++row)
                for (int column = 0; column < gui::ListView::kColumns; ++column)
                    ListView1->SetCell(row, column, exact[row][column]);
        }
    } catch (...) {
        ListView1->EndUpdate();
        throw;
    }
    ListView1->EndUpdate();
}
