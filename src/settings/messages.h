#pragma once
// The message catalogue: every text the program shows in a box or status
// bar, or sets as a caption at run time, by typed number.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr int kMessageCount = 140;

// The numbers of the message table by what they say. A number without a
// name here is still valid: MessageId(n).
enum class MessageId : int {
    OkButton = 1,
    CancelButton = 2,
    CaptionConfirm = 3,
    CaptionWarning = 4,
    CaptionError = 5,
    // 6-33: captions the main window replaces (menus, commands, columns).
    FileMenu = 6,
    ViewMenu = 7,
    HelpMenu = 8,
    CreateImageCaption = 9,
    CreateImageHint = 10,
    RestoreImageCaption = 11,
    RestoreImageHint = 12,
    ExitCaption = 13,
    ExitHint = 14,
    ConfigCaption = 15,
    ConfigHint = 16,
    AboutCaption = 17,
    AboutHint = 18,
    HelpCaption = 19,
    HelpHint = 20,
    ReloadCaption = 21,
    ReloadHint = 22,
    DeleteImageCaption = 23,
    DeleteImageHint = 24,
    PropertyCaption = 25,
    PropertyHint = 26,
    ColumnTitle = 27, // 27-33: the seven columns in order
    ColumnFileName = 33,
    NoMedium = 34,
    CreatingStatus = 35,
    Cancelled = 36,
    ReadFailed = 37,
    Created = 38,
    CreateDialogTitle = 39,
    RestoreConfirm = 40,
    RestoringStatus = 41,
    WriteFailed = 42,
    Restored = 43,
    NextMedium = 44, // holds Restored in front of its own text
    NextMediumReady = 45,
    DeleteConfirm = 46,
    ImageMissing = 47,
    ScanningStatus = 48,
    FirstRunTitle = 49,
    ConfigTitle = 51,
    DriveLabel = 52,
    FolderLabel = 53,
    DriveMissing = 54,
    BrowseInstruction = 55,
    NotADrive = 56,
    FolderMissingCreate = 57,
    FolderNotCreated = 58,
    AboutTitle = 59,
    PropertyTitle = 60,
    FieldLabelTitle = 61, // 61-66: the six field labels in order
    FieldLabelOs = 66,
    TitleRequired = 67,
    DeviceNotFound = 68,
    AccessDenied = 69,
    DriveInUse = 70,
    SectorZeroUnreadable = 71,
    DriveNotOpened = 72,
    DevicePath = 73,
    SeatAdvice = 74,
    NotDeleted = 75,
    StoreTooLarge = 76,
    HeaderChangedElsewhere = 77,
    ImageInUse = 78,
    ImageRemovedWhileCreated = 79,
    HeldByOtherInstance = 80,
    UdisksUnavailable = 81,
    UdisksRefused = 82,
    KeepUnreadable = 83,
    CreatedWithHoles = 84,
    IncompleteImage = 85,
    UnreadableCount = 86,
    CannotRestore = 87,
    RestoreWithHoles = 88,
    VerifyingStatus = 89,
    VerifyMismatch = 90,
    RereadUnreadable = 91,
    ExportMenu = 92,
    ImportMenu = 93,
    ReplaceFile = 94,
    ExportFailed = 95,
    ImportFailed = 96,
    ImportTitle = 97,
    UnknownGeometry = 98,
    ExportFormat = 99,
    Exported = 100,
    NotAnImage = 101,
    SectorsPerCluster = 102,
    BytesPerSector = 103,
    SectorCount = 104,
    FileLength = 105,
    TimeLeft = 106,
    ImageShort = 107,
    TooLong = 108,
    MediumPresent = 109,
    NeedsYes = 110,
    RereadOutcome = 111,
    RereadComplete = 112,
    VirtualDriveLength = 113,
    TargetInLibrary = 114,
    MediumMounted = 115,
    ImageUnreadable = 116,
    UdisksDidNotUnmount = 117,
    NoDatFile = 118,
    InfoMenu = 119,
    InfoTitle = 120,
    Geometry = 121,
    UnreadableSectors = 122,
    Matched = 123,
    SameSizeDifferent = 124,
    Unknown = 125,
    WaitingForBroker = 126,
    UnknownFormat = 127,
    DimCannotHold = 128,
    RawNotWholeSectors = 129,
    TooLargeForFloppy = 130,
    DamagedFile = 131,
};

// The entry offset places after id, for the runs of captions and labels
// (ColumnTitle + c, FieldLabelTitle + field).
constexpr MessageId operator+(MessageId id, int offset)
{
    return static_cast<MessageId>(static_cast<int>(id) + offset);
}

// The language font: meaningful only while a language file was loaded.
struct LanguageFontSpec {
    std::string name = "MS UI Gothic";
    std::int32_t size = 9;        // points
    std::uint8_t charset = 128;   // Shift-JIS
};

// Every text of the program: the built-in ones, or those of the language
// file, with the captions the windows replace; the language font and
// whether a file was loaded. Built once at start and handed to the windows
// and commands, read-only afterwards. Texts are UTF-8.
class MessageCatalogue {
public:
    // Entries all empty, no language file.
    MessageCatalogue() = default;
    // exePath: the running executable; its language file is exePath with
    // the extension replaced by ".rsl". Without one: the built-in texts.
    static MessageCatalogue Load(const std::string& exePath);

    const std::string& Text(MessageId id) const { return Text(static_cast<int>(id)); }
    // Entry n; empty outside 0..kMessageCount-1.
    const std::string& Text(int n) const;
    // The entry with its one "%s" filled by plain substitution.
    std::string Text(MessageId id, std::string_view arg) const;

    bool LanguageLoaded() const { return loaded_; }
    const LanguageFontSpec& Font() const { return font_; }
    const std::array<std::string, kMessageCount>& Table() const { return texts_; }

private:
    void ApplyLanguageFile(std::string_view bytes);

    std::array<std::string, kMessageCount> texts_;
    bool loaded_ = false;
    LanguageFontSpec font_;
};

// The Qt locale the language file names for the toolkit's own texts
// (standard buttons, file dialogs): "Font01"/"Locale", read by the same rules
// as the other entries; empty without a language file or without the entry.
std::string LanguageLocaleName(const std::string& exePath);

// The executable's path with its extension replaced (or appended): ".rsl", ".hlp".
std::string ReplaceExtension(const std::string& path, const std::string& extension);

std::string EscapeText(std::string_view text);
std::string UnescapeText(std::string_view text);
