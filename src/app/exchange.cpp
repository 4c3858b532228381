// Export of the selected images to the emulator formats, import of such
// files as new images and the information dialog: the window side of
// library/diskconvert.h and library/imagereport.h.
#include "app/mainform.h"
#include "app/infoform.h"

#include <cerrno>

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QInputDialog>
#include <QMimeData>
#include <QUrl>

#include "library/diskconvert.h"
#include "library/imageexchange.h"
#include "library/imagefile.h"
#include "library/imagereport.h"
#include "library/prop.h"
#include "settings/messages.h"
#include "settings/messagestring.h"

namespace {

constexpr unsigned kBoxStyle = mb::TASKMODAL | mb::SETFOREGROUND;
constexpr unsigned kErrorBox = mb::OK | mb::ICONERROR | kBoxStyle;

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
    const QString format =
        QInputDialog::getItem(this, Message(Messages(), MessageId::ExportFormat),
                              Message(Messages(), MessageId::ExportFormat), formats, 0, false, &chosen);
    if (!chosen)
        return;
    const DiskFormat kind = format.startsWith("D88")   ? DiskFormat::D88
                            : format.startsWith("FDI") ? DiskFormat::Fdi
                            : format.startsWith("DIM") ? DiskFormat::Dim
                                                       : DiskFormat::Raw;
    const QString folder = QFileDialog::getExistingDirectory(this, Message(Messages(), MessageId::ExportMenu));
    if (folder.isEmpty())
        return;
    int done = 0;
    for (const LibraryRow& row : rows) {
        const std::string path = ImagePathOf(row);
        HeaderBytes bytes{};
        if (IoStatus r = ReadHeaderFile(path, bytes); !r.ok()) {
            ShowMessage(Message(Messages(), MessageId::ExportFailed, path + ": " + r.message()),
                        Message(Messages(), MessageId::CaptionError), kErrorBox);
            continue;
        }
        const ImageHeader header = ReadHeader(bytes);
        const DiskGeometry* g =
            GeometryForSize(std::uint64_t{header.sectorCount} * header.bytesPerSector, header.bytesPerSector);
        const std::string target =
            folder.toStdString() + "/" + ExportFileName(header, row[kFileNameColumn], FormatExtension(kind, g));
        std::vector<std::uint64_t> bad;
        // Without its map a D88 would call unreadable sectors good.
        if (IoStatus m = MappedSectors(path, header, bad); !m.ok()) {
            ShowMessage(Message(Messages(), MessageId::ExportFailed, path + ".map: " + m.message()),
                        Message(Messages(), MessageId::CaptionError), kErrorBox);
            continue;
        }
        ConvertResult r = ExportImage(path, kind, target, bad, false);
        if (r.io.error == EEXIST) {
            if (ShowMessage(Message(Messages(), MessageId::ReplaceFile, target),
                            Message(Messages(), MessageId::CaptionConfirm),
                            mb::YESNO | mb::ICONQUESTION | kBoxStyle) != mb::IDYES)
                continue;
            r = ExportImage(path, kind, target, bad, true);
        }
        if (!r.ok()) {
            ShowMessage(Message(Messages(), MessageId::ExportFailed, target + ": " + r.text(Messages())),
                        Message(Messages(), MessageId::CaptionError), kErrorBox);
            continue;
        }
        ++done;
    }
    if (done > 0)
        ShowMessage(Message(Messages(), MessageId::Exported, std::to_string(done)),
                    Message(Messages(), MessageId::CaptionConfirm), mb::OK | mb::ICONINFORMATION | kBoxStyle);
}

void TMain_Form::IB_ImportImageExecute()
{
    if (IsBusy())
        return;
    const QStringList files = QFileDialog::getOpenFileNames(this, Message(Messages(), MessageId::ImportMenu));
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
            ShowMessage(Message(Messages(), MessageId::ImportFailed, path + ": " + r.text(Messages())),
                        Message(Messages(), MessageId::CaptionError), kErrorBox);
            continue;
        }
        for (const ForeignDisk& disk : file.disks) {
            if (disk.disk.geometry == nullptr)
                ShowMessage(Message(Messages(), MessageId::UnknownGeometry, path),
                            Message(Messages(), MessageId::CaptionWarning), mb::OK | mb::ICONWARNING | kBoxStyle);
            const ImageTexts texts = SuggestedTexts(disk);
            TProperty_Form dialog(Store(), Messages(), services_.messageBox, this);
            dialog.SetCaption(Message(Messages(), MessageId::ImportTitle));
            dialog.SetTexts(texts);
            if (dialog.exec() != QDialog::Accepted)
                continue;
            std::string made;
            if (ConvertResult w = WriteImportedImage(ImageFolder, disk, dialog.Texts(), made); !w.ok()) {
                ShowMessage(Message(Messages(), MessageId::ImportFailed, path + ": " + w.text(Messages())),
                            Message(Messages(), MessageId::CaptionError), kErrorBox);
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

void TMain_Form::IB_InfoExecute()
{
    if (IsBusy())
        return;
    const std::vector<LibraryRow> rows = SelectedRows();
    if (rows.size() != 1)
        return;
    const std::string path = ImagePathOf(rows[0]);
    ImageReport report;
    const ConvertResult read = ReadImageReport(path, report);
    if (read.io.error == ENOENT) {
        // As the property command: the file went since the scan.
        ShowMessage(Message(Messages(), MessageId::ImageMissing), Message(Messages(), MessageId::CaptionConfirm),
                    kErrorBox);
        IB_ReloadExecute();
        return;
    }
    if (!read.ok()) {
        ShowMessage(QString::fromStdString(read.problem ? read.text(Messages()) : path + ": " + read.text(Messages())),
                    Message(Messages(), MessageId::CaptionError), kErrorBox);
        return;
    }
    std::vector<DatFile> dats;
    const std::vector<std::string> datErrors = LoadDatFolder(DatFolderFor(ImageFolder), dats);
    TInfo_Form dialog(Messages(),
                      Message(Messages(), MessageId::InfoTitle) + " - " +
                          QString::fromStdString(rows[0][kFileNameColumn]),
                      ImageReportLines(Messages(), report, dats, datErrors), this);
    dialog.exec();
}
