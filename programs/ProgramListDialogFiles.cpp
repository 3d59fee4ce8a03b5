// The program list window's channel files: Export and Import through the
// table of formats.
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "exchange/Exchange.h"
#include "framework/Files.h"
#include "framework/Host.h"
#include "framework/Profile.h"
#include "programs/ProgramListDialog.h"

namespace {

// The URL pattern of m3u entries (empty: the built-in one); set by hand.
constexpr const char* kExchange = "Exchange";
constexpr const char* kM3uUrlPattern = "M3uUrlPattern";

// The choices of the file chooser, one per format; Import offers the formats
// that can be read.
std::vector<const exchange::FormatInfo*> ChannelFileTypes(bool importing) {
    std::vector<const exchange::FormatInfo*> types;
    for (const exchange::FormatInfo& info : exchange::Formats()) {
        if (!importing || info.read) types.push_back(&info);
    }
    return types;
}

// "Cannot read PATH: why", the reason where the files know it.
std::string FileError(const char* what, const std::string& path, const fw::Files& files) {
    const std::string reason = files.LastError();
    return what + path + (reason.empty() ? std::string() : ": " + reason);
}

// A chosen channel file, and the format of the filter chosen with it.
struct ChosenFile {
    std::string path;
    exchange::Format filterFormat;
};

// Asks for a channel file.
std::optional<ChosenFile> ChooseChannelFile(fw::Dialog& window, bool importing) {
    const std::vector<const exchange::FormatInfo*> types = ChannelFileTypes(importing);
    std::vector<std::string> filters;
    for (const exchange::FormatInfo* type : types) filters.emplace_back(type->filter);
    const std::optional<fw::FileChoice> choice =
        window.GetHost().ChooseFile(window, importing ? fw::FileChooserKind::Open : fw::FileChooserKind::Save,
                                    importing ? "Import Programs" : "Export Programs", filters, 0);
    if (!choice || choice->path.empty()) return std::nullopt;
    const size_t filter = choice->filter >= 0 ? static_cast<size_t>(choice->filter) : types.size();
    return ChosenFile{choice->path, filter < types.size() ? types[filter]->format : types.front()->format};
}

// An export's format is the one the file's extension names, where it names
// one (".conf" does not), else the chosen filter's.
exchange::Format ExportFormat(const ChosenFile& file) {
    return exchange::FormatFromFileName(file.path).value_or(file.filterFormat);
}

// An import's format is the one the file's text is of: a file named ".conf"
// may be of any of three, and the filter the chooser opened with says little.
// Only where the text fits several, or none, do the extension and then the
// filter decide.
exchange::Format ImportFormat(const ChosenFile& file, std::string_view text) {
    const std::vector<exchange::Format> fitting = exchange::FormatsFromText(text);
    if (fitting.size() == 1) return fitting.front();
    const std::optional<exchange::Format> named = exchange::FormatFromFileName(file.path);
    if (fitting.empty()) return named.value_or(file.filterFormat);
    for (const std::optional<exchange::Format> choice : {named, std::optional(file.filterFormat)}) {
        for (const exchange::Format format : fitting) {
            if (choice == format) return format;
        }
    }
    return fitting.front();
}

// The reader's "FILE:LINE: what" as "FILE (read as a VDR channels.conf):
// line LINE: what": a file taken for another format than the user meant
// fails on its first line, and the message should say why.
std::string ReadAsError(const std::string& error, const std::string& path, exchange::Format format) {
    const std::string readAs = path + " (read as " + exchange::InfoOf(format).readAs + "): ";
    if (error.compare(0, path.size() + 1, path + ":") != 0) return readAs + error;
    std::string rest = error.substr(path.size() + 1);
    size_t digits = 0;
    while (digits < rest.size() && rest[digits] >= '0' && rest[digits] <= '9') ++digits;
    if (digits > 0 && digits < rest.size() && rest[digits] == ':') rest = "line " + rest;
    const size_t start = rest.find_first_not_of(' ');
    return readAs + (start == std::string::npos ? rest : rest.substr(start));
}

}  // namespace

void ProgramListDialog::OnExport() {
    const auto file = ChooseChannelFile(*this, false);
    if (!file) return;
    fw::ListView& list = ProgramList();
    std::vector<TunProgDataTag> programs;
    programs.reserve(static_cast<size_t>(list.GetItemCount()));
    exchange::ExportOptions options;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        programs.push_back(RowToRecord(row));
        options.channelNumbers.push_back(ChannelNumber(row));
    }
    options.m3uUrlPattern = GetProfile().GetString(kExchange, kM3uUrlPattern, "");
    fw::Files& files = GetHost().GetFiles();
    if (!fw::WriteWhole(files, file->path, exchange::Export(ExportFormat(*file), programs, options))) {
        MessageBox(FileError("Cannot write ", file->path, files));
        return;
    }
    SetStatusText(ProgramsText(static_cast<int>(programs.size())) + " exported to " + file->path);
}

void ProgramListDialog::OnImport() {
    const auto file = ChooseChannelFile(*this, true);
    if (!file) return;
    fw::Files& files = GetHost().GetFiles();
    std::string text;
    if (files.ReadAll(file->path, &text) != fw::Files::ReadResult::Ok) {
        MessageBox(FileError("Cannot read ", file->path, files));
        return;
    }
    const exchange::Format format = ImportFormat(*file, text);
    exchange::ImportResult imported = exchange::Import(format, text, file->path);
    if (!imported.ok) {
        MessageBox(ReadAsError(imported.error, file->path, format));
        return;
    }
    fw::ListView& list = ProgramList();
    fw::ListView::Snapshot before = list.TakeSnapshot();
    std::vector<TunProgDataTag> listed;
    listed.reserve(static_cast<size_t>(list.GetItemCount()));
    for (int row = 0; row < list.GetItemCount(); ++row) listed.push_back(RowToRecord(row));
    const size_t known = exchange::CountAlreadyListed(listed, imported.programs);
    int first = -1;
    for (size_t i = 0; i < imported.programs.size(); ++i) {
        TunProgDataTag& record = imported.programs[i];
        const int row = list.InsertItem(list.GetItemCount(), std::string());
        if (row < 0) break;
        if (first < 0) first = row;
        // As a scan's new rows: "Nr" shows the position a Save will give it.
        record.index = static_cast<uint32_t>(row) + 1;
        RecordToRow(record, row);
        if (i < imported.channelNumbers.size()) SetChannelNumber(row, imported.channelNumbers[i]);
    }
    ListChanged(std::move(before), "Import");
    if (first >= 0) {
        SelectRow(first);
        list.SetSelectionMark(first);
        list.EnsureVisible(first);
    }
    // Lines passed over are no failure, nor programs the list had already,
    // but the user hears of them.
    std::string done = ProgramsText(static_cast<int>(imported.programs.size())) + " imported from " + file->path;
    if (known > 0) done += "; " + exchange::AlreadyListedText(known);
    if (!imported.skipped.empty()) done += "; " + imported.skipped;
    SetStatusText(done);
    if (!imported.skipped.empty() || known > 0) MessageBox(done);
}
