// kelvan-relnotes-pdf TEXT PDF: lays out the release notes text as an A4 PDF. Lines starting
// with "# " are headings, "## " subheadings; other lines are body text, wrapped; an empty line
// separates paragraphs. Build-time tool.
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTextStream>
#include <cstdio>

namespace {

struct Style {
  QFont font;
  int space_before;  // in device units
};

class Layout {
 public:
  explicit Layout(QPdfWriter& writer) : writer_(writer), painter_(&writer) {
    width_ = painter_.viewport().width();
    height_ = painter_.viewport().height();
  }

  bool ok() const { return painter_.isActive(); }

  void Line(const QString& text, const Style& style) {
    painter_.setFont(style.font);
    const QRect bounds = painter_.boundingRect(QRect(0, 0, width_, height_), Qt::TextWordWrap,
                                               text.isEmpty() ? " " : text);
    if (y_ + style.space_before + bounds.height() > height_) {
      writer_.newPage();
      y_ = 0;
    } else {
      y_ += style.space_before;
    }
    painter_.drawText(QRect(0, y_, width_, bounds.height()), Qt::TextWordWrap, text);
    y_ += bounds.height();
  }

 private:
  QPdfWriter& writer_;
  QPainter painter_;
  int width_ = 0;
  int height_ = 0;
  int y_ = 0;
};

QFont Font(int points, bool bold) {
  QFont font("DejaVu Sans", points);
  font.setBold(bold);
  return font;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: kelvan-relnotes-pdf TEXT PDF\n");
    return 2;
  }
  QFile source(QString::fromLocal8Bit(argv[1]));
  if (!source.open(QIODevice::ReadOnly | QIODevice::Text)) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  QPdfWriter writer(QString::fromLocal8Bit(argv[2]));
  writer.setPageSize(QPageSize(QPageSize::A4));
  writer.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
  writer.setTitle("KELVAN release notes");
  writer.setCreator("KELVAN");
  writer.setResolution(300);
  Layout layout(writer);
  if (!layout.ok()) {
    std::fprintf(stderr, "cannot write %s\n", argv[2]);
    return 1;
  }
  const Style heading{Font(18, true), 60};
  const Style subheading{Font(13, true), 45};
  const Style body{Font(10, false), 0};
  QTextStream in(&source);
  while (!in.atEnd()) {
    const QString line = in.readLine();
    if (line.startsWith("## ")) {
      layout.Line(line.mid(3), subheading);
    } else if (line.startsWith("# ")) {
      layout.Line(line.mid(2), heading);
    } else {
      layout.Line(line, body);
    }
  }
  return 0;
}
