#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QTreeView>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "board/BoardDatabase.h"
#include "card/ProgramFields.h"
#include "cardlib/Card.h"
#include "framework/Profile.h"
#include "framework/qt/QtHost.h"
#include "programs/ProgramListDialog.h"
#include "res/ResourceIds.h"
#include "tests/HostSupport.h"
#include "tests/qt/QtTestSupport.h"

namespace {


// Each title of the program list shows whole at its column's first width,
// in the font the header really draws with.
TEST(ProgramListHeader, EveryTitleFitsItsDefaultWidth) {
    const std::filesystem::path dir = qttest::MakeTempDir();
    {
        fw::QtHost host;
        hosttest::RegisteredResources resources{host};
        fw::Profile profile((dir / "kelvane.INI").string());
        host.SetProfile(&profile);
        host.SetMessageHandler([](const std::string& text) { ADD_FAILURE() << "message: " << text; });
        cardlib::Board board{(dir / "board.db").string()};
        cardlib::Card card;
        ProgramListDialog window(host);
        qttest::RunModalWith(host, window, [&] {
            auto* view = qobject_cast<QTreeView*>(host.ControlWidget(window, res::IDC_PROGRAM_LIST));
            ASSERT_NE(view, nullptr);
            QHeaderView* header = view->header();
            const QFontMetrics metrics(header->font());
            // The header draws its label inside this margin on either side.
            const int margin = header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header);
            for (int column = 0; column < kProgramListColumnCount; ++column) {
                const QString title = QString::fromUtf8(ProgramListColumnAt(column).title);
                EXPECT_EQ(view->model()->headerData(column, Qt::Horizontal).toString(), title);
                EXPECT_LE(metrics.horizontalAdvance(title) + 2 * margin, header->sectionSize(column))
                    << title.toStdString();
            }
            window.EndDialog(fw::IDCANCEL);
        });
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
}

}  // namespace
