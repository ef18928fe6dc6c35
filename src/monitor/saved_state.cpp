// The saved state's format: writing a snapshot out, and reading it back
// whole or not at all.
#include "monitor/saved_state.h"

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "monitor/dyna_array.h"
#include "monitor/records.h"
#include "monitor/relisting.h"
#include "platform/dir_search.h"

namespace {

constexpr char kMagic[4] = {'V', 'L', 'M', 'S'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeadBytes = sizeof kMagic + sizeof kVersion;
constexpr size_t kSumBytes = sizeof(uint64_t);
// The fewest bytes a file or a folder, and a stand-in or an owed file, take
// in the file, which bounds the counts a file can claim.
constexpr size_t kLeastEntryBytes = 4;
constexpr size_t kLeastNoteBytes = 2;

}  // namespace

uint64_t StateChecksum(std::string_view bytes) {
    // Word by word, each word mixed in by a multiply and a shift: fast, and
    // a damaged or shortened file ends in another sum.
    uint64_t sum = 0x9E3779B97F4A7C15u ^ bytes.size();
    size_t at = 0;
    for (; at + 8 <= bytes.size(); at += 8) {
        uint64_t word;
        std::memcpy(&word, bytes.data() + at, 8);
        sum = (sum ^ word) * 0xFF51AFD7ED558CCDu;
        sum ^= sum >> 32;
    }
    for (; at < bytes.size(); ++at) {
        sum = (sum ^ static_cast<uint8_t>(bytes[at])) * 0xC4CEB9FE1A85EC53u;
        sum ^= sum >> 29;
    }
    return sum;
}

namespace {

uint64_t Zigzag(int64_t value) {
    return (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
}

int64_t Unzigzag(uint64_t value) {
    return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1);
}

class Writer {
  public:
    explicit Writer(std::string& out) : out_(out) {}

    void Number(uint64_t value) {
        while (value >= 0x80) {
            out_.push_back(static_cast<char>(value | 0x80));
            value >>= 7;
        }
        out_.push_back(static_cast<char>(value));
    }
    void Text(std::u16string_view text) {
        Number(text.size());
        for (char16_t unit : text) Number(unit);
    }

    void Folder(const TDir& dir, std::u16string_view path2,
                const std::unordered_set<std::u16string>& owed) {
        const uint32_t files = CountOf(dir.files);
        uint32_t kept = files;
        std::u16string name2;
        auto isOwed = [&](const TDir& file) {
            if (owed.empty()) return false;
            name2.assign(path2).append(TextOf(file.dname2));
            return owed.count(name2) > 0;
        };
        if (!owed.empty())
            for (uint32_t i = 0; i < files; ++i) kept -= isOwed(RecordAt(*dir.files, i));
        Number(kept);
        std::u16string_view last;
        uint64_t lastTime = 0;
        for (uint32_t i = 0; i < files; ++i) {
            const TDir& file = RecordAt(*dir.files, i);
            if (isOwed(file)) continue;
            const std::u16string_view name = TextOf(file.dname2);
            const size_t shared = static_cast<size_t>(
                std::mismatch(name.begin(), name.end(), last.begin(), last.end()).first -
                name.begin());
            Number(shared);
            Text(name.substr(shared));
            Number(Zigzag(static_cast<int64_t>(file.time - lastTime)));
            Number(uint64_t{file.sizelo} | uint64_t{file.sizehi} << 32);
            last = name;
            lastTime = file.time;
        }
        const uint32_t dirs = CountOf(dir.dirs);
        Number(dirs);
        for (uint32_t i = 0; i < dirs; ++i) {
            const TDir& sub = RecordAt(*dir.dirs, i);
            const std::u16string_view sub2 = TextOf(sub.dname2);
            const size_t slash = sub2.rfind(u'\\');
            Text(slash == std::u16string_view::npos ? sub2 : sub2.substr(slash + 1));
            Folder(sub, AddBackslash(sub2), owed);
        }
    }

  private:
    std::string& out_;
};

class Reader {
  public:
    Reader(std::string_view body, TDir** adir, TDir** afile)
        : at_(reinterpret_cast<const uint8_t*>(body.data())),
          end_(at_ + body.size()),
          // Records and names come to a few times the bytes that describe
          // them; far more can only be a file made to exhaust memory.
          budget_(24 * body.size() + 65536),
          adir_(adir),
          afile_(afile) {}

    bool Number(uint64_t& value) {
        value = 0;
        for (int shift = 0; shift < 64 && at_ < end_; shift += 7) {
            const uint8_t byte = *at_++;
            value |= uint64_t{byte & 0x7Fu} << shift;
            if (!(byte & 0x80)) return shift < 63 || byte <= 1;
        }
        return false;
    }
    // A name of one file or folder: no terminator, no separator, and of a
    // length a listing can give.
    bool Name(std::u16string& text) {
        uint64_t units;
        if (!Number(units) || units > UINT16_MAX || units > Left()) return false;
        text.clear();
        return Units(text, units);
    }
    bool Units(std::u16string& text, uint64_t units) {
        for (uint64_t i = 0; i < units; ++i) {
            uint64_t unit;
            if (!Number(unit) || unit == 0 || unit > 0xFFFF || unit == u'\\') return false;
            text.push_back(static_cast<char16_t>(unit));
        }
        return true;
    }
    bool Path(std::u16string& text) {
        uint64_t units;
        if (!Number(units) || units > Left()) return false;
        text.clear();
        for (uint64_t i = 0; i < units; ++i) {
            uint64_t unit;
            if (!Number(unit) || unit == 0 || unit > 0xFFFF) return false;
            text.push_back(static_cast<char16_t>(unit));
        }
        return true;
    }
    bool Count(uint64_t& count, size_t least = kLeastEntryBytes) {
        return Number(count) && count <= Left() / least;
    }
    bool Spend(uint64_t bytes) {
        if (bytes > budget_) return false;
        budget_ -= bytes;
        return true;
    }

    bool Folder(TDir& dir, std::u16string_view dname, std::u16string_view dname2, size_t depth) {
        dir.files = new TDynaArray(sizeof(TDir), afile_);
        dir.dirs = new TDynaArray(sizeof(TDir), adir_);
        AllocPChar(dir.dname, dname);
        AllocPChar(dir.dname2, dname2);
        if (!Spend(2 * sizeof(TDynaArray) + 2 * (dname.size() + dname2.size()))) return false;
        uint64_t files;
        if (!Count(files) || !Spend(files * sizeof(TDir))) return false;
        if (files && !Files(*dir.files, static_cast<uint32_t>(files))) return false;
        uint64_t dirs;
        if (!Count(dirs) || !Spend(dirs * sizeof(TDir))) return false;
        if (dirs &&
            (depth + 1 >= platform::kDeepest || !Exactly(*dir.dirs, static_cast<uint32_t>(dirs))))
            return false;
        const std::u16string path = AddBackslash(dname), path2 = AddBackslash(dname2);
        std::u16string name;
        for (uint32_t i = 0; i < dirs; ++i) {
            if (!Name(name) || name.empty()) return false;
            if (!Folder(RecordAt(*dir.dirs, i), path + name, path2 + name, depth + 1)) return false;
        }
        return true;
    }

  private:
    uint64_t Left() const { return static_cast<uint64_t>(end_ - at_); }

    // Appends `n` records to an empty array in a block of just their size:
    // nothing is added to a snapshot's arrays after its read.
    static bool Exactly(TDynaArray& array, uint32_t n) {
        const uint32_t step = array.buffersize;
        array.buffersize = n;
        void* records = array.AddMany(n);
        array.buffersize = step;
        return records != nullptr;
    }

    bool Files(TDynaArray& array, uint32_t count) {
        names_.clear();
        sizes_.clear();
        size_t lastAt = 0, lastUnits = 0;
        uint64_t time = 0;
        for (uint32_t i = 0; i < count; ++i) {
            uint64_t shared, rest, delta, size;
            if (!Number(shared) || shared > lastUnits || !Number(rest) || rest > Left() ||
                shared + rest == 0 || shared + rest > UINT16_MAX || !Spend(2 * (shared + rest + 1)))
                return false;
            const size_t at = names_.size();
            names_.resize(at + shared);
            std::copy_n(names_.begin() + static_cast<ptrdiff_t>(lastAt), shared,
                        names_.begin() + static_cast<ptrdiff_t>(at));
            if (!Units(names_, rest) || !Number(delta) || !Number(size)) return false;
            names_.push_back(u'\0');
            time += static_cast<uint64_t>(Unzigzag(delta));
            sizes_.emplace_back(time, size);
            lastAt = at;
            lastUnits = static_cast<size_t>(shared + rest);
        }
        if (!Exactly(array, count)) return false;
        char16_t* name = AllocNames(names_, count);
        auto* records = static_cast<TDir*>(array.poi);
        for (uint32_t i = 0; i < count; ++i) {
            records[i].dname2 = name;
            records[i].time = static_cast<uintptr_t>(sizes_[i].first);
            records[i].sizelo = static_cast<uint32_t>(sizes_[i].second);
            records[i].sizehi = static_cast<uint32_t>(sizes_[i].second >> 32);
            name += std::char_traits<char16_t>::length(name) + 1;
        }
        return true;
    }

    const uint8_t* at_;
    const uint8_t* end_;
    uint64_t budget_;
    TDir** adir_;
    TDir** afile_;
    std::u16string names_;
    std::vector<std::pair<uint64_t, uint64_t>> sizes_;  // time and size of each file
};

}  // namespace

std::string EncodeState(const TDir& dir, std::u16string_view dirname, std::u16string_view masks,
                        bool subdirs, int64_t bias, const std::vector<StandIn>& standIns,
                        const std::vector<Owed>& owed) {
    std::string out(kMagic, sizeof kMagic);
    out.append(reinterpret_cast<const char*>(&kVersion), sizeof kVersion);
    Writer writer(out);
    writer.Text(dirname);
    writer.Text(masks);
    writer.Number(subdirs);
    writer.Number(Zigzag(bias));
    std::unordered_set<std::u16string> owedNames;
    for (const Owed& file : owed) owedNames.insert(file.fname2);
    writer.Folder(dir, u"", owedNames);
    writer.Number(standIns.size());
    for (const StandIn& standIn : standIns) {
        writer.Text(standIn.dname);
        writer.Number(Zigzag(standIn.bias));
    }
    writer.Number(owed.size());
    for (const Owed& file : owed) {
        writer.Text(file.fname2);
        writer.Number(file.changed);
    }
    const uint64_t sum = StateChecksum(out);
    out.append(reinterpret_cast<const char*>(&sum), sizeof sum);
    return out;
}

bool DecodeState(std::string_view file, TDir** adir, TDir** afile, SavedState& state) {
    state = SavedState{};
    if (file.size() < kHeadBytes + kSumBytes || std::memcmp(file.data(), kMagic, sizeof kMagic))
        return false;
    uint32_t version;
    std::memcpy(&version, file.data() + sizeof kMagic, sizeof version);
    uint64_t sum;
    std::memcpy(&sum, file.data() + file.size() - kSumBytes, kSumBytes);
    if (version != kVersion || StateChecksum(file.substr(0, file.size() - kSumBytes)) != sum)
        return false;
    Reader reader(file.substr(kHeadBytes, file.size() - kHeadBytes - kSumBytes), adir, afile);
    uint64_t subdirs, bias, count;
    bool read = reader.Path(state.dirname) && reader.Path(state.masks) && reader.Number(subdirs) &&
                subdirs <= 1 && reader.Number(bias) &&
                reader.Folder(state.dir, state.dirname, u"", 0) &&
                reader.Count(count, kLeastNoteBytes);
    for (uint64_t i = 0; read && i < count; ++i) {
        StandIn& standIn = state.standIns.emplace_back();
        uint64_t offset = 0;
        read = reader.Path(standIn.dname) && reader.Number(offset);
        standIn.bias = Unzigzag(offset);
    }
    read = read && reader.Count(count, kLeastNoteBytes);
    for (uint64_t i = 0; read && i < count; ++i) {
        Owed& file = state.owed.emplace_back();
        uint64_t changed = 0;
        read = reader.Path(file.fname2) && !file.fname2.empty() && reader.Number(changed) &&
               changed <= 1;
        file.changed = changed != 0;
    }
    uint64_t extra;
    if (!read || reader.Number(extra)) {
        DiscardState(state.dir);
        state = SavedState{};
        return false;
    }
    state.subdirs = subdirs != 0;
    state.bias = Unzigzag(bias);
    return true;
}

void DiscardState(TDir& dir) {
    if (dir.dname) FreePChar(dir.dname);
    if (dir.dname2) FreePChar(dir.dname2);
    if (dir.files) {
        ReleaseNames(*dir.files);
        delete dir.files;
    }
    if (dir.dirs) {
        for (uint32_t i = 0; i < dir.dirs->count; ++i) DiscardState(RecordAt(*dir.dirs, i));
        delete dir.dirs;
    }
    dir = TDir{};
}

bool StateFits(const SavedState& state, std::u16string_view dirname, std::u16string_view masks,
               bool subdirs) {
    return state.subdirs == subdirs && state.dirname == dirname && state.masks == masks;
}

std::u16string StateFileName(std::u16string_view dirname, std::u16string_view masks, bool subdirs,
                             uint32_t nth) {
    uint64_t hash = 0xCBF29CE484222325u;
    for (char16_t unit : dirname) hash = (hash ^ unit) * 0x100000001B3u;
    hash = (hash ^ u'\\') * 0x100000001B3u;
    for (char16_t unit : masks) hash = (hash ^ unit) * 0x100000001B3u;
    hash = (hash ^ (subdirs ? 1u : 0u)) * 0x100000001B3u;
    std::u16string name;
    for (int shift = 60; shift >= 0; shift -= 4) name += u"0123456789abcdef"[(hash >> shift) & 15];
    if (nth) {
        name += u'-';
        for (char c : std::to_string(nth)) name += static_cast<char16_t>(c);
    }
    return name + u".state";
}
