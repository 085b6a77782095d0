// SPDX-FileCopyrightText: The Varden developers
//
// SPDX-License-Identifier: GPL-2.0-or-later

// The agent's window as its user sees it, at its default size and at 1024 x 768 (which its
// largest size caps), on every page and every settings tab: no widget drawn over a sibling,
// every label wide enough for its text, and the window able to take the size given. The
// readings are those of a board with all four rails, after one tick.

#include "monitor_fixture.h"
#include "window_layout.h"

#include <QListWidget>
#include <QTabWidget>

using namespace monitortest;

namespace {

struct Shown {
    const char* name;
    QSize size; // empty: the window's own default size
};

const Shown kSizes[] = {{"DefaultSize", QSize()}, {"At1024x768", QSize(1024, 768)}};

class AgentWindowLayout : public MonitorTest, public testing::WithParamInterface<Shown> {};

TEST_P(AgentWindowLayout, NothingOverlapsAndEveryTextFitsOnEveryPage)
{
    const std::unique_ptr<Mainform> window = makeWindow();
    window->agent().tick();
    const QSize size = GetParam().size.isValid() ? GetParam().size : window->size();
    const QSize taken = size.boundedTo(window->maximumSize());
    auto* pages = child<QListWidget>(*window, "lwItemSelector");
    auto* tabs = child<QTabWidget>(*window, "twSetting");
    ASSERT_TRUE(pages && tabs);
    window->show();
    window->resize(size);
    for (int page = 0; page < pages->count(); ++page) {
        pages->setCurrentRow(page);
        const bool settings = page == 2;
        for (int tab = 0; tab < (settings ? tabs->count() : 1); ++tab) {
            tabs->setCurrentIndex(tab);
            const QString where = pages->item(page)->text() + (settings ? " / " + tabs->tabText(tab) : QString());
            EXPECT_EQ(vrdtest::layoutFaults(*window, taken).join('\n').toStdString(), "") << where.toStdString();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, AgentWindowLayout, testing::ValuesIn(kSizes),
                         [](const testing::TestParamInfo<Shown>& info) { return std::string(info.param.name); });

} // namespace
