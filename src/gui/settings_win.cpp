// The window settings store on Windows: string values in the registry of
// the current user.
#include <memory>
#include <string>

#include "gui/toolkit_win.h"
#include "platform/wide.h"

namespace gui {
namespace {

// An open registry key, closed with the object.
class Key {
  public:
    Key() = default;
    ~Key() { Close(); }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;

    HKEY Get() const { return key_; }
    HKEY* Receive() {
        Close();
        return &key_;
    }
    void Close() {
        if (key_) RegCloseKey(key_);
        key_ = nullptr;
    }

  private:
    HKEY key_ = nullptr;
};

class RegistrySettings final : public SettingsStore {
  public:
    bool Open(std::u16string_view key) override {
        return RegCreateKeyExW(HKEY_CURRENT_USER, platform::AsWide(key).c_str(), 0, nullptr, 0,
                               KEY_ALL_ACCESS, nullptr, key_.Receive(), nullptr) == ERROR_SUCCESS;
    }

    Kind Read(std::u16string_view subkey, std::u16string_view name,
              std::u16string& value) override {
        value.clear();
        Key sub;
        if (!key_.Get() || RegOpenKeyExW(key_.Get(), platform::AsWide(subkey).c_str(), 0, KEY_READ,
                                         sub.Receive()) != ERROR_SUCCESS)
            return Kind::Missing;
        const std::wstring wideName = platform::AsWide(name);
        // The value may change between asking its size and reading it.
        for (int attempt = 0; attempt < 4; ++attempt) {
            DWORD type = 0, bytes = 0;
            if (RegQueryValueExW(sub.Get(), wideName.c_str(), nullptr, &type, nullptr, &bytes) !=
                ERROR_SUCCESS)
                return Kind::Missing;
            if (type != REG_SZ) return Kind::Other;
            std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
            DWORD got = static_cast<DWORD>(text.size() * sizeof(wchar_t));
            LONG status = RegQueryValueExW(sub.Get(), wideName.c_str(), nullptr, &type,
                                           reinterpret_cast<BYTE*>(text.data()), &got);
            if (status == ERROR_MORE_DATA) continue;
            if (status != ERROR_SUCCESS) return Kind::Missing;
            if (type != REG_SZ) return Kind::Other;
            // A stored string need not end in a zero, and may hold several.
            text.resize(got / sizeof(wchar_t));
            const size_t end = text.find(L'\0');
            if (end != std::wstring::npos) text.resize(end);
            value = platform::FromWide(text);
            return Kind::String;
        }
        return Kind::Missing;
    }

    bool Write(std::u16string_view subkey, std::u16string_view name, std::u16string_view value,
               bool& failedValue) override {
        failedValue = false;
        Key sub;
        if (!key_.Get() ||
            RegCreateKeyExW(key_.Get(), platform::AsWide(subkey).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, sub.Receive(), nullptr) != ERROR_SUCCESS)
            return false;
        const std::wstring text = platform::AsWide(value);
        const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
        if (RegSetValueExW(sub.Get(), platform::AsWide(name).c_str(), 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(text.c_str()), bytes) != ERROR_SUCCESS) {
            failedValue = true;
            return false;
        }
        return true;
    }

  private:
    Key key_;
};

}  // namespace

std::unique_ptr<SettingsStore> CreateRegistrySettings() {
    return std::make_unique<RegistrySettings>();
}

}  // namespace gui
