#include "installguide/guide_window.h"

#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QToolButton>
#include <algorithm>

#include "installguide/click_sound.h"
#include "installguide/installer_process.h"
#include "installguide/readme_dialog.h"

namespace kelvan::installguide {
namespace {

constexpr char kTagProperty[] = "tag";
constexpr char kExitTag[] = "Exit";
constexpr int kWidth = 560;
constexpr int kHeight = 440;
constexpr int kListTop = 136;
constexpr int kListBottom = 392;
constexpr int kLinePitch = 32;
constexpr int kLineLeft = 48;
const QColor kBackground(18, 52, 86);
const QColor kTitleColour(Qt::white);
const QColor kNormalLine(200, 214, 230);
const QColor kHighlightedLine(255, 204, 51);

// One line is kept for Exit, so the page holds what remains of the list area.
int LinesPerPage(int area_height, int line_pitch) {
  return std::max(1, area_height / line_pitch - 1);
}

void SetTextColour(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::WindowText, colour);
  widget->setPalette(palette);
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& geometry, int point_size,
                  bool bold) {
  auto* label = new QLabel(parent);
  label->setObjectName(name);
  label->setGeometry(geometry);
  QFont font = label->font();
  font.setPointSize(point_size);
  font.setBold(bold);
  label->setFont(font);
  return label;
}

QPixmap RpxLogo() {
  QPixmap logo(88, 88);
  logo.fill(Qt::transparent);
  QPainter painter(&logo);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(kHighlightedLine);
  painter.setPen(Qt::NoPen);
  painter.drawRoundedRect(logo.rect().adjusted(2, 2, -2, -2), 14, 14);
  QFont font = painter.font();
  font.setPointSize(22);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(kBackground);
  painter.drawText(logo.rect(), Qt::AlignCenter, "RPX");
  return logo;
}

void ShowCritical(QWidget* parent, const QString& text) {
  QMessageBox::critical(parent, parent->windowTitle(), text);
}

void ShowPlain(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, parent->windowTitle(), text, QMessageBox::Ok, parent);
  box.exec();
}

bool AskReadme(QWidget* parent, const QString& readme_text) {
  ReadmeDialog dialog(readme_text, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace

GuideWindow::GuideWindow(GuideMode mode, const QString& guide_dir, GuideServices services,
                         QWidget* parent)
    : QWidget(parent),
      guide_dir_(guide_dir),
      page_size_(LinesPerPage(kListBottom - kListTop, kLinePitch)) {
  FillServices(std::move(services));
  setFixedSize(kWidth, kHeight);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, kBackground);
  setPalette(palette);
  setAutoFillBackground(true);
  BuildTitle(mode);
  BuildLines();
  BuildPaging();
  components_ = FindComponents(guide_dir_);
  ShowPage(0);
}

GuideWindow::~GuideWindow() = default;

void GuideWindow::FillServices(GuideServices services) {
  services_ = std::move(services);
  if (!services_.os_family) services_.os_family = CurrentOsFamily;
  if (!services_.accept_readme) services_.accept_readme = AskReadme;
  if (!services_.critical) services_.critical = ShowCritical;
  if (!services_.message) services_.message = ShowPlain;
  if (!services_.run_installer) services_.run_installer = RunInstallerAndWait;
  if (!services_.click) {
    sound_ = std::make_unique<ClickSound>(QDir(guide_dir_).filePath(kClickSoundName));
    services_.click = [this] { sound_->Play(); };
  }
}

void GuideWindow::BuildTitle(GuideMode mode) {
  const bool odbc = mode == GuideMode::kOdbcDriver;
  setObjectName(odbc ? "frmODBCDriverMain" : "frmGuideMain");
  setWindowTitle(odbc ? "RPX 2.1 ODBC Driver Setup" : "RPX 2.1 Setup");
  auto* logo = MakeLabel(this, "picRPXLogo", QRect(24, 20, 88, 88), 10, false);
  logo->setPixmap(RpxLogo());
  auto* line1 = MakeLabel(this, "lblRPXInstallLine1", QRect(128, 26, 410, 40), 22, true);
  line1->setText("RPX 2.1");
  auto* line2 = MakeLabel(this, "lblRPXInstallLine2", QRect(128, 68, 410, 30), 14, false);
  line2->setText(odbc ? "ODBC Driver Installation" : "Installation Program");
  SetTextColour(line1, kTitleColour);
  SetTextColour(line2, kTitleColour);
}

void GuideWindow::BuildLines() {
  for (int i = 0; i <= page_size_; ++i) {
    const QRect geometry(kLineLeft, kListTop + i * kLinePitch, kWidth - 2 * kLineLeft,
                         kLinePitch - 4);
    const QByteArray name = "lblTemplate_" + QByteArray::number(i);
    QLabel* line = MakeLabel(this, name.constData(), geometry, 13, false);
    line->setCursor(Qt::PointingHandCursor);
    line->installEventFilter(this);
    lines_.push_back(line);
  }
}

void GuideWindow::BuildPaging() {
  previous_ = new QToolButton(this);
  previous_->setObjectName("picPrevious");
  previous_->setToolTip("Previous items");
  previous_->setArrowType(Qt::LeftArrow);
  previous_->setGeometry(kLineLeft - 28, kListBottom + 6, 30, 28);
  next_ = new QToolButton(this);
  next_->setObjectName("picNext");
  next_->setToolTip("Next items");
  next_->setArrowType(Qt::RightArrow);
  next_->setGeometry(kWidth - kLineLeft - 2, kListBottom + 6, 30, 28);
  connect(previous_, &QToolButton::clicked, this, [this] { ShowPage(page_ - 1); });
  connect(next_, &QToolButton::clicked, this, [this] { ShowPage(page_ + 1); });
}

void GuideWindow::ShowPage(int page) {
  const int last_page = std::max<int>(0, (components_.size() - 1) / page_size_);
  page_ = std::clamp(page, 0, last_page);
  const int first = page_ * page_size_;
  const int shown = std::min<int>(page_size_, components_.size() - first);
  for (int i = 0; i < static_cast<int>(lines_.size()); ++i) {
    QLabel* line = lines_[i];
    const bool is_exit = i == shown;
    line->setText(is_exit ? kExitTag : i < shown ? components_[first + i] : QString());
    line->setProperty(kTagProperty, is_exit ? QString(kExitTag) : QString::number(first + i + 1));
    line->setVisible(i <= shown);
    SetTextColour(line, kNormalLine);
  }
  previous_->setVisible(page_ > 0);
  next_->setVisible(page_ < last_page);
}

bool GuideWindow::eventFilter(QObject* watched, QEvent* event) {
  auto* line = qobject_cast<QLabel*>(watched);
  if (line == nullptr || std::find(lines_.begin(), lines_.end(), line) == lines_.end()) {
    return QWidget::eventFilter(watched, event);
  }
  if (event->type() == QEvent::Enter) {
    Highlight(line);
  } else if (event->type() == QEvent::MouseButtonRelease &&
             static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    Choose(line);
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void GuideWindow::Highlight(QLabel* line) {
  for (QLabel* other : lines_) SetTextColour(other, other == line ? kHighlightedLine : kNormalLine);
  services_.click();
}

void GuideWindow::Choose(QLabel* line) {
  const QString tag = line->property(kTagProperty).toString();
  if (tag == kExitTag) {
    close();
    return;
  }
  if (installing_) return;
  installing_ = true;
  lower();
  if (RunReadmeStep()) Install(components_.at(tag.toInt() - 1));
  // Back on top so the next component can be chosen once the installer is done.
  raise();
  installing_ = false;
}

bool GuideWindow::RunReadmeStep() {
  const QString path = ReadmePath(guide_dir_);
  const QFileInfo readme(path);
  const auto problem = ReadmeProblem(services_.os_family(), readme.isFile() ? readme.size() : -1);
  if (problem) {
    services_.critical(this, *problem);
    return false;
  }
  return services_.accept_readme(this, ReadmeText(path));
}

void GuideWindow::Install(const QString& component) {
  const QString command = InstallerCommand(guide_dir_, component);
  if (const auto problem = InstallerCommandProblem(command)) {
    services_.critical(this, *problem);
    return;
  }
  if (const auto error = services_.run_installer(command)) {
    services_.message(this, "Unable to start Setup\nError : " + *error);
  }
}

}  // namespace kelvan::installguide
