// The program list window's channel files: Export and Import through the
// table of formats.
#include <optional>
#include <string>
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

// Asks for a channel file; its format is the one its extension names, where
// it names one (".conf" does not), else the one of the chosen filter.
std::optional<std::pair<std::string, exchange::Format>> ChooseChannelFile(fw::Dialog& window, bool importing) {
    const std::vector<const exchange::FormatInfo*> types = ChannelFileTypes(importing);
    std::vector<std::string> filters;
    for (const exchange::FormatInfo* type : types) filters.emplace_back(type->filter);
    const std::optional<fw::FileChoice> choice =
        window.GetHost().ChooseFile(window, importing ? fw::FileChooserKind::Open : fw::FileChooserKind::Save,
                                    importing ? "Import Programs" : "Export Programs", filters, 0);
    if (!choice || choice->path.empty()) return std::nullopt;
    std::optional<exchange::Format> format = exchange::FormatFromFileName(choice->path);
    if (!format) {
        const size_t filter = choice->filter >= 0 ? static_cast<size_t>(choice->filter) : types.size();
        format = filter < types.size() ? types[filter]->format : types.front()->format;
    }
    return std::make_pair(choice->path, *format);
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
    if (!fw::WriteWhole(files, file->first, exchange::Export(file->second, programs, options))) {
        MessageBox(FileError("Cannot write ", file->first, files));
        return;
    }
    SetStatusText(ProgramsText(static_cast<int>(programs.size())) + " exported to " + file->first);
}

void ProgramListDialog::OnImport() {
    const auto file = ChooseChannelFile(*this, true);
    if (!file) return;
    fw::Files& files = GetHost().GetFiles();
    std::string text;
    if (files.ReadAll(file->first, &text) != fw::Files::ReadResult::Ok) {
        MessageBox(FileError("Cannot read ", file->first, files));
        return;
    }
    exchange::ImportResult imported = exchange::Import(file->second, text, file->first);
    if (!imported.ok) {
        MessageBox(imported.error);
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
    std::string done = ProgramsText(static_cast<int>(imported.programs.size())) + " imported from " + file->first;
    if (known > 0) done += "; " + exchange::AlreadyListedText(known);
    if (!imported.skipped.empty()) done += "; " + imported.skipped;
    SetStatusText(done);
    if (!imported.skipped.empty() || known > 0) MessageBox(done);
}
