// The progress window: what it says for each kind of progress a library reports, how the
// user cancels, and what a cancel does to the batch.
#include "ui/qt/progress_window.h"

#include <unistd.h>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "support/texts.h"
#include "window_fixture.h"

namespace {

constexpr uint64_t kMiB = 1 << 20;

TEST(ProgressAmount, BytesElseEntriesElseWhichEntry) {
  const std::string count = texts::kProgressEntryCount;
  struct Case {
    ExtractionProgress progress;
    std::string text;
  };
  const Case kCases[] = {
      {{"a", 0, 10 * kMiB, 0, 0}, "0 KB / 10.0 MB"},
      {{"a", 1, 1000, 0, 0}, "1 KB / 1 KB"},
      {{"a", 5 * kMiB / 2, 10 * kMiB, 2, 7}, "2.5 MB / 10.0 MB    2 / 7" + count},
      {{"a", 3 * kMiB * 1024 / 2, 4 * kMiB * 1024, 0, 0}, "1.50 GB / 4.00 GB"},
      {{"a", 0, 0, 3, 10}, "3 / 10" + count},
      {{"a", 0, 0, 3, 0}, "4" + std::string(texts::kProgressEntries)},
      {{"a", 2 * kMiB, 0, 0, 0}, "1" + std::string(texts::kProgressEntries) + "    2.0 MB"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(AmountText(c.progress).toStdString(), c.text);
  }
}

TEST(ProgressWindow, DrawsTheArchiveTheEntryTheAmountAndTheBar) {
  struct Case {
    const char* name;
    ExtractionProgress progress;
    int bar_value;
    int bar_maximum;  // 0: a busy bar, nothing says how much is left
  };
  const Case kCases[] = {
      {"a quarter of the bytes", {"dir/<b>a</b>.txt", kMiB, 4 * kMiB, 0, 2}, 250, 1000},
      {"more than the total is the whole", {"x", 5 * kMiB, 4 * kMiB, 0, 0}, 1000, 1000},
      {"entries alone", {"x", 0, 0, 3, 4}, 750, 1000},
      {"nothing known", {"x", 0, 0, 0, 0}, -1, 0},
      {"amounts past 32 bits", {"x", uint64_t{1} << 40, uint64_t{1} << 41, 0, 0}, 500, 1000},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ProgressWindow window(nullptr);
    EXPECT_TRUE(window.Update(QStringLiteral("/in/書庫 1.zip"), c.progress));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.windowTitle().toStdString(), texts::kProgressTitle);
    EXPECT_EQ(window.archive_label()->text().toStdString(),
              std::string(texts::kProgressArchive) + "書庫 1.zip");
    EXPECT_EQ(window.entry_label()->text().toStdString(),
              std::string(texts::kProgressEntry) + c.progress.entry);
    EXPECT_EQ(window.entry_label()->textFormat(), Qt::PlainText);
    EXPECT_EQ(window.amount_label()->text(), AmountText(c.progress));
    EXPECT_EQ(window.bar()->maximum(), c.bar_maximum);
    if (c.bar_maximum > 0) {
      EXPECT_EQ(window.bar()->value(), c.bar_value);
    }
    EXPECT_EQ(window.cancel_button()->text().toStdString(), texts::kCancel);
  }
}

TEST(ProgressWindow, ALongEntryIsCutInTheMiddleAndTheWindowKeepsItsWidth) {
  ProgressWindow window(nullptr);
  window.Update(QStringLiteral("/in/a.zip"), {"short.txt", 0, 10, 0, 0});
  const int width = window.width();
  const std::string entry = std::string(300, 'd') + "/最後のファイル.txt";
  QTest::qWait(150);  // past the redraw interval
  window.Update(QStringLiteral("/in/a.zip"), {entry, 5, 10, 0, 0});
  const QString shown = window.entry_label()->text();
  EXPECT_LT(shown.size(), 200);
  EXPECT_TRUE(shown.endsWith(QString::fromUtf8("最後のファイル.txt"))) << shown.toStdString();
  EXPECT_EQ(window.width(), width);
}

TEST(ProgressWindow, CancelEscapeAndTheTitleBarsCloseAllCancelAndTheWindowStays) {
  enum class How { kButton, kEscape, kClose };
  const How kCases[] = {How::kButton, How::kEscape, How::kClose};
  for (How how : kCases) {
    SCOPED_TRACE(static_cast<int>(how));
    ProgressWindow window(nullptr);
    const ExtractionProgress progress{"a.txt", 1, 10, 0, 1};
    ASSERT_TRUE(window.Update(QStringLiteral("/in/a.zip"), progress));
    switch (how) {
      case How::kButton:
        QTest::mouseClick(window.cancel_button(), Qt::LeftButton);
        break;
      case How::kEscape:
        QTest::keyClick(&window, Qt::Key_Escape);
        break;
      case How::kClose:
        window.close();
        break;
    }
    EXPECT_FALSE(window.Update(QStringLiteral("/in/a.zip"), progress));
    EXPECT_TRUE(window.cancelled());
    EXPECT_TRUE(window.isVisible()) << "it stays until the library has stopped";
    EXPECT_FALSE(window.cancel_button()->isEnabled());
    EXPECT_EQ(window.entry_label()->text().toStdString(), texts::kProgressCancelling);
  }
}

// A library that writes `entries` entries and reports each piece, as ours do.
std::function<int32_t(LibraryCallbacks&)> Writing(int entries) {
  return [entries](LibraryCallbacks& callbacks) -> int32_t {
    for (int i = 0; i < entries; ++i) {
      for (uint64_t done = 0; done <= kMiB; done += kMiB / 4) {
        usleep(5000);
        const auto n = static_cast<uint64_t>(i);
        const auto total = static_cast<uint64_t>(entries);
        ExtractionProgress p{"file" + std::to_string(i), n * kMiB + done, total * kMiB, n, total};
        if (!callbacks.Progress(p)) return 0x8020;
      }
    }
    return 0;
  };
}

using QtProgressBatch = WindowFixture;

TEST_F(QtProgressBatch, CancelStopsTheBatchWithoutABoxAndWithoutOpeningTheFolder) {
  settings_file::Settings settings = Quiet(0);
  settings.open_folder_after = 1;
  platform_.WriteSettings(settings);
  platform_.Install("UNZIP32.DLL");
  platform_.Install("ZIP32J.DLL");
  platform_.on_main = Writing(50);
  catcher_.CancelProgressAfter(3);
  Start({folder_.Sub("first.zip"), folder_.Sub("second.zip")});

  EXPECT_EQ(platform_.commands.size(), 1u) << "the second archive is never started";
  EXPECT_TRUE(catcher_.boxes.empty());
  EXPECT_TRUE(platform_.opened.empty());
  EXPECT_FALSE(form_->any_archive_failed());
  EXPECT_EQ(end_calls_, 1);
  ASSERT_GE(catcher_.progress.size(), 3u);
  EXPECT_EQ(catcher_.progress[0].archive.toStdString(),
            std::string(texts::kProgressArchive) + "first.zip");
  EXPECT_EQ(ui_.progress_window(), nullptr) << "the window goes with its archive";
}

TEST_F(QtProgressBatch, EachArchiveGetsItsOwnWindowAndTheFolderIsOpened) {
  settings_file::Settings settings = Quiet(0);
  settings.open_folder_after = 1;
  platform_.WriteSettings(settings);
  platform_.Install("UNZIP32.DLL");
  platform_.Install("ZIP32J.DLL");
  platform_.on_main = Writing(2);
  Start({folder_.Sub("first.zip"), folder_.Sub("second.zip")});

  EXPECT_EQ(platform_.commands.size(), 2u);
  EXPECT_EQ(platform_.opened.size(), 2u);
  EXPECT_TRUE(catcher_.boxes.empty());
  ASSERT_FALSE(catcher_.progress.empty());
  EXPECT_EQ(catcher_.progress.back().archive.toStdString(),
            std::string(texts::kProgressArchive) + "second.zip");
  EXPECT_EQ(ui_.progress_window(), nullptr);
}

}  // namespace
