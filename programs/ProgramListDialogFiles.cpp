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
// The folder of the last channel file chosen, where the next chooser opens.
constexpr const char* kExchange = "Exchange";
constexpr const char* kM3uUrlPattern = "M3uUrlPattern";
// Without a pattern: the SAT>IP server whose RTSP URLs the m3u entries are.
constexpr const char* kSatIpServer = "SatIpServer";
constexpr const char* kLastFolder = "LastFolder";
constexpr const char* kAllFiles = "All files (*)";
constexpr const char* kBoardDatabases = "Board databases (*.db)";
// What every SQLite database file begins with, the board's among them.
constexpr std::string_view kSqliteHeader{"SQLite format 3\0", 16};

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

// The folder a path names its file in; empty for a name alone.
std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool HasExtension(const std::string& path) {
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    return dot != std::string::npos && dot + 1 < path.size() && (slash == std::string::npos || dot > slash);
}

std::string ExtensionOf(exchange::Format format) {
    return std::string(".") + exchange::InfoOf(format).extensions.front();
}

// A chosen channel file, and the format of the filter chosen with it (none
// for "All files").
struct ChosenFile {
    std::string path;
    std::optional<exchange::Format> filterFormat;
};

// Asks for a channel file where the last one was chosen (the home folder the
// first time); an export suggests a name of the first filter's format.
// `title` where it is not Import's or Export's, `more` filters after the formats'.
std::optional<ChosenFile> ChooseChannelFile(fw::Dialog& window, bool importing, const char* title = nullptr,
                                            const std::vector<std::string>& more = {}) {
    const std::vector<const exchange::FormatInfo*> types = ChannelFileTypes(importing);
    std::vector<std::string> filters;
    for (const exchange::FormatInfo* type : types) filters.emplace_back(type->filter);
    filters.insert(filters.end(), more.begin(), more.end());
    filters.emplace_back(kAllFiles);
    fw::Profile& settings = window.GetProfile();
    std::string start = settings.GetString(kExchange, kLastFolder, "");
    if (!importing) {
        if (!start.empty() && start.back() != '/') start += '/';
        start += "channels" + ExtensionOf(types.front()->format);
    }
    const std::optional<fw::FileChoice> choice =
        window.GetHost().ChooseFile(window, importing ? fw::FileChooserKind::Open : fw::FileChooserKind::Save,
                                    title ? title : importing ? "Import Programs" : "Export Programs", filters, 0, start);
    if (!choice || choice->path.empty()) return std::nullopt;
    const std::string folder = FolderOf(choice->path);
    if (!folder.empty()) settings.WriteString(kExchange, kLastFolder, folder);
    const size_t filter = choice->filter >= 0 ? static_cast<size_t>(choice->filter) : types.size();
    return ChosenFile{choice->path, filter < types.size() ? std::optional(types[filter]->format) : std::nullopt};
}

// An export's format is the one the file's extension names, where it names
// one (".conf" does not), else the chosen filter's, else the first; a name
// without an extension gets the format's.
exchange::Format ExportFormat(ChosenFile& file) {
    const exchange::Format format = exchange::FormatFromFileName(file.path)
                                        .value_or(file.filterFormat.value_or(exchange::Formats().front().format));
    if (!HasExtension(file.path)) file.path += ExtensionOf(format);
    return format;
}

// An import's format is the one the file's text is of: a file named ".conf"
// may be of any of three, and the filter the chooser opened with says little.
// Only where the text fits several, or none, do the extension and then the
// filter decide; nothing where none of them says.
std::optional<exchange::Format> ImportFormat(const ChosenFile& file, std::string_view text) {
    const std::vector<exchange::Format> fitting = exchange::FormatsFromText(text);
    if (fitting.size() == 1) return fitting.front();
    const std::optional<exchange::Format> named = exchange::FormatFromFileName(file.path);
    if (fitting.empty()) return named ? named : file.filterFormat;
    for (const std::optional<exchange::Format>& choice : {named, file.filterFormat}) {
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
    auto file = ChooseChannelFile(*this, false);
    if (!file) return;
    const std::string given = file->path;
    const exchange::Format format = ExportFormat(*file);
    fw::Files& files = GetHost().GetFiles();
    // The chooser asked about replacing the name the user typed, not the one
    // with the extension added.
    std::string existing;
    if (file->path != given && files.ReadAll(file->path, &existing) != fw::Files::ReadResult::Missing &&
        Ask(file->path + " already exists. Replace it?", fw::QuestionButtons::YesNo) != fw::Answer::Yes) {
        return;
    }
    fw::ListView& list = ProgramList();
    std::vector<TunProgDataTag> programs;
    programs.reserve(static_cast<size_t>(list.GetItemCount()));
    exchange::ExportOptions options;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        programs.push_back(RowToRecord(row));
        options.beside.push_back(BesideOf(row));
    }
    options.m3uUrlPattern = GetProfile().GetString(kExchange, kM3uUrlPattern, "");
    const std::string satIpServer = GetProfile().GetString(kExchange, kSatIpServer, "");
    if (options.m3uUrlPattern.empty() && !satIpServer.empty()) options.m3uUrlPattern = exchange::SatIpUrlPattern(satIpServer);
    const std::vector<exchange::RepeatedName> repeated = exchange::RepeatedNames(programs);
    const std::string repeatedText = exchange::RepeatedNamesText(format, repeated);
    if (!repeatedText.empty()) {
        // No writes the names as they are.
        options.uniqueNames = Ask(repeatedText + ".\nAppend the service id to each of them (\"" +
                                      repeated.front().firstUnique + "\")?",
                                  fw::QuestionButtons::YesNo) == fw::Answer::Yes;
    }
    if (!fw::WriteWhole(files, file->path, exchange::Export(format, programs, options))) {
        MessageBox(FileError("Cannot write ", file->path, files));
        return;
    }
    SetStatusText(ProgramsText(static_cast<int>(programs.size())) + " exported to " + file->path);
}

void ProgramListDialog::OnImport(bool updating) {
    const auto file = ChooseChannelFile(*this, true, updating ? "Import and Update Programs" : nullptr);
    if (!file) return;
    fw::Files& files = GetHost().GetFiles();
    std::string text;
    if (files.ReadAll(file->path, &text) != fw::Files::ReadResult::Ok) {
        MessageBox(FileError("Cannot read ", file->path, files));
        return;
    }
    const std::optional<exchange::Format> format = ImportFormat(*file, text);
    if (!format) {
        MessageBox(file->path + ": the format is not clear from the file; choose its type in the file dialog");
        return;
    }
    exchange::ImportResult imported = exchange::Import(*format, text, file->path);
    if (!imported.ok) {
        MessageBox(ReadAsError(imported.error, file->path, *format));
        return;
    }
    if (updating) {
        std::string done = ProgramsText(static_cast<int>(imported.programs.size())) + " imported from " + file->path;
        if (!imported.skipped.empty()) done += "; " + imported.skipped;
        ImportUpdating(imported.programs, imported.beside, done);
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
        if (i < imported.beside.size()) SetBeside(row, imported.beside[i]);
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

std::optional<std::vector<TunProgDataTag>> ProgramListDialog::ReadReference(std::string* path) {
    const auto file = ChooseChannelFile(*this, true, "Order Like", {kBoardDatabases});
    if (!file) return std::nullopt;
    *path = file->path;
    fw::Files& files = GetHost().GetFiles();
    std::string text;
    if (files.ReadAll(file->path, &text) != fw::Files::ReadResult::Ok) {
        MessageBox(FileError("Cannot read ", file->path, files));
        return std::nullopt;
    }
    // Another board database, a backup of this one among them: through the
    // library, which says itself what keeps it from being read.
    if (text.rfind(kSqliteHeader, 0) == 0) {
        BoardPrograms stored;
        if (!m_Board.LoadFrom(file->path, &stored)) return std::nullopt;
        return stored.records;
    }
    const std::optional<exchange::Format> format = ImportFormat(*file, text);
    if (!format) {
        MessageBox(file->path + ": the format is not clear from the file; choose its type in the file dialog");
        return std::nullopt;
    }
    exchange::ImportResult imported = exchange::Import(*format, text, file->path);
    if (!imported.ok) {
        MessageBox(ReadAsError(imported.error, file->path, *format));
        return std::nullopt;
    }
    return std::move(imported.programs);
}
