// Export of the selected images to the emulator formats and import of such
// files as new images: the window side of library/diskconvert.h.
#include "app/mainform.h"

#include <cerrno>
#include <fstream>
#include <sstream>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QInputDialog>
#include <QMimeData>
#include <QUrl>

#include "library/badmap.h"
#include "base/cp932.h"
#include "library/diskconvert.h"
#include "library/imagefile.h"
#include "library/prop.h"
#include "library/tosecname.h"
#include "settings/messages.h"

namespace {

QString Msg(int n, std::string_view arg = {})
{
    return QString::fromStdString(MessageText(n, arg));
}

constexpr unsigned kBoxStyle = mb::TASKMODAL | mb::SETFOREGROUND;
constexpr unsigned kErrorBox = mb::OK | mb::ICONERROR | kBoxStyle;

// The unreadable sectors the map beside an image lists; none without a map.
std::vector<std::uint64_t> MappedSectors(const std::string& imagePath, std::uint32_t bytesPerSector)
{
    std::ifstream in(imagePath + ".map");
    if (!in)
        return {};
    std::stringstream text;
    text << in.rdbuf();
    return ParseBadSectorMap(text.str(), bytesPerSector).value_or(std::vector<std::uint64_t>{});
}

// Code page 932 for a field, the characters it has no form for left out.
std::string FieldBytes(const std::string& utf8, int field)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        std::size_t len = 1;
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b >= 0xF0)
            len = 4;
        else if (b >= 0xE0)
            len = 3;
        else if (b >= 0xC0)
            len = 2;
        if (auto c = Utf8ToCp932(utf8.substr(i, len)))
            out += *c;
        i += len;
    }
    return FitToField(out, FieldWidth(field));
}

// A file name for an exported image: its title, else its own name.
std::string ExportName(const ImageHeader& header, const std::string& fileName)
{
    std::string name = Cp932ToUtf8(header.texts[kTitle]);
    if (name.empty())
        name = fileName.substr(0, fileName.find_last_of('.'));
    for (char& c : name)
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
            c = '_';
    return name;
}

} // namespace

void TMain_Form::IB_ExportImageExecute()
{
    if (IsBusy())
        return;
    const std::vector<LibraryRow> rows = SelectedRows();
    if (rows.empty())
        return;
    const QStringList formats{QStringLiteral("D88 (.d88)"), QStringLiteral("FDI (.fdi)"), QStringLiteral("DIM (.dim)"),
                              QStringLiteral("Raw (.img / .hdm)")};
    bool chosen = false;
    const QString format = QInputDialog::getItem(this, Msg(99), Msg(99), formats, 0, false, &chosen);
    if (!chosen)
        return;
    const DiskFormat kind = format.startsWith("D88")   ? DiskFormat::D88
                            : format.startsWith("FDI") ? DiskFormat::Fdi
                            : format.startsWith("DIM") ? DiskFormat::Dim
                                                       : DiskFormat::Raw;
    const QString folder = QFileDialog::getExistingDirectory(this, Msg(92));
    if (folder.isEmpty())
        return;
    int done = 0;
    for (const LibraryRow& row : rows) {
        const std::string path = ImagePathOf(row);
        HeaderBytes bytes{};
        if (IoStatus r = ReadHeaderFile(path, bytes); !r.ok()) {
            ShowMessage(Msg(95, path + ": " + r.message()), Msg(5), kErrorBox);
            continue;
        }
        const ImageHeader header = ReadHeader(bytes);
        const DiskGeometry* g =
            GeometryForSize(std::uint64_t{header.sectorCount} * header.bytesPerSector, header.bytesPerSector);
        const std::string target = folder.toStdString() + "/" + ExportName(header, row[kFileNameColumn]) + "." +
                                   std::string(FormatExtension(kind, g));
        const std::vector<std::uint64_t> bad = MappedSectors(path, header.bytesPerSector);
        ConvertResult r = ExportImage(path, kind, target, bad, false);
        if (r.io.error == EEXIST) {
            if (ShowMessage(Msg(94, target), Msg(3), mb::YESNO | mb::ICONQUESTION | kBoxStyle) != mb::IDYES)
                continue;
            r = ExportImage(path, kind, target, bad, true);
        }
        if (!r.ok()) {
            ShowMessage(Msg(95, target + ": " + r.text()), Msg(5), kErrorBox);
            continue;
        }
        ++done;
    }
    if (done > 0)
        ShowMessage(Msg(100, std::to_string(done)), Msg(3), mb::OK | mb::ICONINFORMATION | kBoxStyle);
}

void TMain_Form::IB_ImportImageExecute()
{
    if (IsBusy())
        return;
    const QStringList files = QFileDialog::getOpenFileNames(this, Msg(93));
    std::vector<std::string> paths;
    for (const QString& f : files)
        paths.push_back(f.toStdString());
    ImportFiles(paths);
}

void TMain_Form::ImportFiles(const std::vector<std::string>& paths)
{
    if (IsBusy() || paths.empty())
        return;
    bool imported = false;
    for (const std::string& path : paths) {
        ForeignFile file;
        if (ConvertResult r = ReadForeignFile(path, file); !r.ok()) {
            // Not a known format, or broken: one box, nothing written.
            ShowMessage(Msg(96, path + ": " + r.text()), Msg(5), kErrorBox);
            continue;
        }
        const TosecName name = ParseTosecName(path);
        for (const ForeignDisk& disk : file.disks) {
            if (disk.disk.geometry == nullptr)
                ShowMessage(Msg(98, path), Msg(4), mb::OK | mb::ICONWARNING | kBoxStyle);
            ImageTexts texts;
            if (!disk.suggestedTitle.empty()) {
                texts[kTitle] = FitToField(disk.suggestedTitle, FieldWidth(kTitle));
            } else {
                const std::string title = name.disk.empty() ? name.title : name.title + " (" + name.disk + ")";
                texts[kTitle] = FieldBytes(title, kTitle);
            }
            texts[kCopyright] = FieldBytes(name.publisher, kCopyright);
            texts[kYear] = FieldBytes(name.year, kYear);
            texts[kTargetMachine] = FieldBytes(name.system, kTargetMachine);
            TProperty_Form dialog(Store(), services_.messageBox, this);
            dialog.SetCaption(Msg(97));
            dialog.SetTexts(texts);
            if (dialog.exec() != QDialog::Accepted)
                continue;
            std::string made;
            if (ConvertResult w = WriteImportedImage(ImageFolder, disk, dialog.Texts(), made); !w.ok()) {
                ShowMessage(Msg(96, path + ": " + w.text()), Msg(5), kErrorBox);
                continue;
            }
            imported = true;
        }
    }
    if (imported)
        IB_ReloadExecute();
}

void TMain_Form::dragEnterEvent(QDragEnterEvent* event)
{
    if (!IsBusy() && event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void TMain_Form::dropEvent(QDropEvent* event)
{
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile().toStdString());
    event->acceptProposedAction();
    Guarded([this, paths] { ImportFiles(paths); });
}
