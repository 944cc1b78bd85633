// Windows file-dialog filters turned into Qt's form, and the dialog hook.

#include <gtest/gtest.h>

#include "ui/form/dialogs.h"
#include "ui/form/qt_form.h"
#include "ui/qt_test_app.h"

namespace orlo::ui {
namespace {

TEST(QtFileFilter, windowsFiltersBecomeQtFilters) {
  struct Case {
    const char* windows;
    const char* qt;
  } cases[] = {
      {"File (*.csv;)|*.csv;||", "File (*.csv)"},
      {"CSV (*.csv)|*.csv|All (*.*)|*.*||", "CSV (*.csv);;All (*.*)"},
      {"Text|*.txt;*.log||", "Text (*.txt *.log)"},
      {"|*.csv||", "Files (*.csv)"},
      {"Nothing||", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(qtFileFilter(c.windows), c.qt) << c.windows;
}

TEST(DialogHook, messageBoxesAndFileDialogsGoToTheHookWithTheDefaultCaption) {
  test::qtApp();
  LayoutTable table;
  const Result<LayoutTable> loaded = parseLayout("window | w | 100 | 100 | W\n");
  ASSERT_TRUE(loaded.ok()) << loaded.error();
  table = *loaded;
  QtForm form(table, pageColours());
  std::vector<std::string> seen;
  FileDialogRequest asked;
  setDialogHook(
      {[&](const std::string& text, const std::string& caption) { seen.push_back(caption + ": " + text); },
       [&](bool save, const FileDialogRequest& request) -> std::optional<std::string> {
         asked = request;
         if (!save) return std::nullopt;
         return request.startFolder + "/" + request.proposedName;
       }});
  form.messageBox("Serial already open!");
  form.messageBox("写入失败", "错误");
  EXPECT_EQ(seen, (std::vector<std::string>{"Orlo_PC: Serial already open!", "错误: 写入失败"}));
  EXPECT_EQ(form.askSaveFile({"File (*.csv;)|*.csv;||", "/tmp", "data.csv", true}), "/tmp/data.csv");
  EXPECT_TRUE(asked.confirmOverwrite);
  EXPECT_EQ(form.askOpenFile({"File (*.csv;)|*.csv;||", "/home", "", false}), std::nullopt);
  EXPECT_EQ(asked.startFolder, "/home");
  setDialogHook({});
}

}  // namespace
}  // namespace orlo::ui
