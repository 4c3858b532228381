// The rules of the settings store, once, over whichever backend the host has.
#include "settings/regstore.h"


#include "settings/regbackend.h"
#include "base/textconv.h"

namespace {

constexpr const char* kKeyCreateFailed = "キー %s の作成に失敗しました";
constexpr const char* kSetFailed = "'%s' の設定に失敗しました";
constexpr const char* kGetFailed = "'%s' の取得に失敗しました";
constexpr const char* kBadDataType = "'%s' のデータ型が不正です";

[[noreturn]] void Raise(const char* text, const std::string& arg)
{
    throw RegError(FillPlaceholder(text, arg));
}

bool IsText(RegKind kind) { return kind == RegKind::Sz || kind == RegKind::ExpandSz; }

// A stored text ends at its first NUL, as the registry's C strings do.
std::string TextUpToNul(const std::string& bytes) { return bytes.substr(0, bytes.find('\0')); }

} // namespace

RegRoot RootKeyFromCode(std::uint8_t code)
{
    switch (code) {
    case 1: return RegRoot::ClassesRoot;
    case 3: return RegRoot::LocalMachine;
    case 4: return RegRoot::Users;
    case 5: return RegRoot::CurrentConfig;
    case 6: return RegRoot::DynData;
    default: return RegRoot::CurrentUser;
    }
}

RegStore::RegStore(std::unique_ptr<RegBackend> backend) : backend_(std::move(backend)) {}

RegStore::~RegStore() = default;

std::string RegStore::RegReadString(std::uint8_t code, const std::string& keyPath, const std::string& valueName,
                                    const std::string& defaultText)
{
    auto key = backend_->OpenKey(RootKeyFromCode(code), keyPath, RegAccess::ReadWrite);
    if (!key)
        return defaultText;
    auto value = key->QueryValue(valueName);
    if (!value)
        return defaultText;
    if (IsText(value->kind))
        return TextUpToNul(value->bytes);
    if (value->bytes.empty())
        return {};
    Raise(kBadDataType, valueName);
}

std::int32_t RegStore::RegReadInteger(std::uint8_t code, const std::string& keyPath, const std::string& valueName,
                                      std::int32_t defaultValue)
{
    const RegRoot root = RootKeyFromCode(code);
    auto key = backend_->OpenKey(root, keyPath, RegAccess::Read);
    if (!key)
        return defaultValue;
    auto value = key->QueryValue(valueName);
    if (!value)
        return defaultValue;
    switch (value->kind) {
    case RegKind::Dword: {
        // The read goes into a 4-byte number: more does not fit, less fills its low bytes.
        if (value->bytes.size() > 4)
            Raise(kGetFailed, valueName);
        std::uint32_t bits = 0;
        for (std::size_t i = 0; i < value->bytes.size(); ++i)
            bits |= static_cast<std::uint32_t>(static_cast<unsigned char>(value->bytes[i])) << (8 * i);
        return static_cast<std::int32_t>(bits);
    }
    case RegKind::Sz: {
        auto again = backend_->OpenKey(root, keyPath, RegAccess::ReadWrite);
        if (!again)
            return defaultValue;
        auto text = again->QueryValue(valueName);
        if (!text || !IsText(text->kind))
            return defaultValue;
        return ParseInteger(TextUpToNul(text->bytes)).value_or(defaultValue);
    }
    case RegKind::ExpandSz:
    case RegKind::Binary:
        Raise(value->bytes.size() > 4 ? kGetFailed : kBadDataType, valueName);
    default:
        return defaultValue;
    }
}

void RegStore::RegWriteString(std::uint8_t code, const std::string& keyPath, const std::string& valueName,
                              const std::string& text)
{
    IoStatus status;
    auto key = backend_->CreateKey(RootKeyFromCode(code), keyPath, status);
    if (!key)
        Raise(kKeyCreateFailed, keyPath);
    NoteWritten(valueName);
    std::string bytes = text;
    bytes.push_back('\0');
    if (!key->SetValue(valueName, RegKind::Sz, bytes).ok())
        Raise(kSetFailed, valueName);
}

void RegStore::RegWriteInteger(std::uint8_t code, const std::string& keyPath, const std::string& valueName,
                               std::int32_t value)
{
    NoteWritten(valueName);
    IoStatus status;
    auto key = backend_->CreateKey(RootKeyFromCode(code), keyPath, status);
    if (!key)
        Raise(kSetFailed, valueName);
    const auto bits = static_cast<std::uint32_t>(value);
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<std::size_t>(i)] = static_cast<char>((bits >> (8 * i)) & 0xFF);
    if (!key->SetValue(valueName, RegKind::Dword, bytes).ok())
        Raise(kSetFailed, valueName);
}

void RegStore::NoteWritten(const std::string& valueName)
{
    if (depth_ > 0 && firstWritten_.empty())
        firstWritten_ = valueName;
}

void RegStore::Transaction(const std::function<void()>& body)
{
    if (depth_ > 0) {
        body();
        return;
    }
    struct Depth {
        RegStore& store;
        explicit Depth(RegStore& s) : store(s) { ++store.depth_; }
        ~Depth()
        {
            --store.depth_;
            store.firstWritten_.clear();
        }
    } depth{*this};
    const IoStatus stored = backend_->Transact(body);
    if (!stored.ok())
        Raise(kSetFailed, firstWritten_);
}

std::string RegStore::TakeOversizedStore()
{
    return backend_->TakeOversized() ? backend_->Location() : std::string();
}

std::map<char, std::string> ExplicitDrives(RegStore& store)
{
    std::map<char, std::string> entries;
    for (char letter = 'A'; letter <= 'Z'; ++letter) {
        std::string device = store.RegReadString(0, kDevicesKey, std::string(1, letter), "");
        if (!device.empty())
            entries.emplace(letter, std::move(device));
    }
    return entries;
}
