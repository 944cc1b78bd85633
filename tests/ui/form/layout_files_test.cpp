// Every window's real layout table, built into widgets: all ids present, and nothing clipped
// inside the window's fixed size.

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLayout>
#include <cstdlib>

#include "core/alarm_parameter_record.h"
#include "pages/alarm_parameter_page.h"
#include "ui/form/qt_form.h"
#include "ui/qt_test_app.h"

namespace orlo::ui {
namespace {

std::vector<std::string> layoutFiles() {
  const char* dir = std::getenv("ORLO_RESOURCE_DIR");
  std::vector<std::string> files;
  if (!dir) return files;
  const QDir layouts(QString(dir) + "/layouts");
  for (const auto& name : layouts.entryList({"*.layout"}, QDir::Files, QDir::Name))
    files.push_back(layouts.filePath(name).toStdString());
  return files;
}

class LayoutFile : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    test::qtApp();
    const Result<LayoutTable> loaded = loadLayoutFile(GetParam());
    ASSERT_TRUE(loaded.ok()) << loaded.error();
    table = *loaded;
  }
  LayoutTable table;
};

TEST_P(LayoutFile, everyControlIdGetsAWidgetCarryingIt) {
  QtForm form(table, pageColours());
  for (const auto& row : table.controls) {
    if (row.id == -1) continue;
    ASSERT_NE(form.control(row.id), nullptr) << row.id;
    EXPECT_EQ(form.control(row.id)->objectName(), QString::number(row.id));
    EXPECT_FALSE(form.control(row.id)->accessibleName().isEmpty() && row.kind != "tabs" &&
                 row.kind != "readonly" && row.kind != "combo" && row.kind != "combo-edit" &&
                 row.kind != "static")
        << "control " << row.id << " (line " << row.line << ") has nothing a screen reader could say";
  }
}

TEST_P(LayoutFile, theContentFitsTheWindowSizeWithNoCaptionCutShort) {
  QtForm form(table, pageColours());
  QWidget* root = form.widget();
  root->show();
  const QSize needed = root->layout()->minimumSize();
  EXPECT_LE(needed.width(), table.window.width) << "the window is too narrow for its controls";
  EXPECT_LE(needed.height(), table.window.height) << "the window is too low for its controls";
  for (auto* w : root->findChildren<QWidget*>()) {
    if (!w->isVisible()) continue;
    const QRect where(w->mapTo(root, QPoint(0, 0)), w->size());
    EXPECT_TRUE(root->rect().contains(where))
        << w->metaObject()->className() << " '" << w->accessibleName().toStdString()
        << "' lies outside the window";
    const bool textual = qobject_cast<QLabel*>(w) || qobject_cast<QAbstractButton*>(w);
    if (textual && w->minimumSizeHint().isValid()) {
      EXPECT_GE(w->width(), w->minimumSizeHint().width())
          << "'" << w->accessibleName().toStdString() << "' is cut short";
    }
  }
  root->hide();
}

// A box takes a typed "-" exactly when the board keeps its value signed: without it a negative
// protection value could never be typed, with it an unsigned one would only be refused at Set.
TEST(AlarmLayout, signedBoxesAreTheSignedFieldsOfTheRecord) {
  const char* dir = std::getenv("ORLO_RESOURCE_DIR");
  ASSERT_NE(dir, nullptr);
  LayoutTable table;
  const Result<LayoutTable> loaded = loadLayoutFile(std::string(dir) + "/layouts/alarm_parameter.layout");
  ASSERT_TRUE(loaded.ok()) << loaded.error();
  table = *loaded;
  for (const auto& row : alarmParameterRecord()) {
    const LayoutControl* box = table.control(alarmBoxId(row));
    ASSERT_NE(box, nullptr) << alarmBoxId(row);
    EXPECT_EQ(box->hasFlag("signed"), row.sign == FieldSign::Signed)
        << "box " << alarmBoxId(row) << " " << row.label;
  }
  for (const auto& c : table.controls)
    EXPECT_TRUE(!c.hasFlag("signed") || c.hasFlag("digits"))
        << "control " << c.id << ": signed without digits";
}

INSTANTIATE_TEST_SUITE_P(Resources, LayoutFile, ::testing::ValuesIn(layoutFiles()),
                         [](const ::testing::TestParamInfo<std::string>& p) {
                           return QFileInfo(QString::fromStdString(p.param)).baseName().toStdString();
                         });

}  // namespace
}  // namespace orlo::ui
