// frmGuideMain and frmODBCDriverMain: the installation guide listing the components found beside
// it, a page of clickable lines at a time, and running the chosen component's installer after
// the readme was accepted. GUI thread only.
#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "installguide/media_rules.h"

class QLabel;
class QToolButton;

namespace kelvan::installguide {

class ClickSound;

enum class GuideMode { kComponents, kOdbcDriver };

// What the guide asks of its surroundings. Empty members get the real behaviour; tests replace
// the ones that would block on a modal window or make a sound.
struct GuideServices {
  std::function<std::optional<OsFamily>()> os_family;
  std::function<bool(QWidget* parent, const QString& readme_text)> accept_readme;
  std::function<void(QWidget* parent, const QString& text)> critical;
  std::function<void(QWidget* parent, const QString& text)> message;
  std::function<std::optional<QString>(const QString& command)> run_installer;
  std::function<void()> click;
};

class GuideWindow : public QWidget {
  Q_OBJECT
 public:
  GuideWindow(GuideMode mode, const QString& guide_dir, GuideServices services = {},
              QWidget* parent = nullptr);
  ~GuideWindow() override;

  const QStringList& Components() const { return components_; }
  int PageSize() const { return page_size_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FillServices(GuideServices services);
  void BuildTitle(GuideMode mode);
  void BuildLines();
  void BuildPaging();
  void ShowPage(int page);
  void Highlight(QLabel* line);
  void Choose(QLabel* line);
  bool RunReadmeStep();
  void Install(const QString& component);

  QString guide_dir_;
  GuideServices services_;
  std::unique_ptr<ClickSound> sound_;
  QStringList components_;
  int page_size_;  // component lines per page, the Exit line not counted
  int page_ = 0;
  bool installing_ = false;     // a choice is running; further choices wait for it
  std::vector<QLabel*> lines_;  // lblTemplate: the page's components, then Exit
  QToolButton* previous_ = nullptr;
  QToolButton* next_ = nullptr;
};

}  // namespace kelvan::installguide
