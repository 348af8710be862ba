#include "report/chart_svg.h"

#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QFont>
#include <QGraphicsScene>
#include <QPainter>
#include <QPen>
#include <QSvgGenerator>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QScatterSeries>
#include <QtCharts/QStackedBarSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <limits>
#include <memory>

namespace kelvan::report {
namespace {

constexpr int kWidth = 760;  // fits a laptop's width beside the page's margins
constexpr int kHeight = 320;

QDateTime ToQt(const Timestamp& when) {
  return QDateTime(QDate(when.year, when.month, when.day),
                   QTime(when.hour, when.minute, when.second));
}

QXYSeries* MakeSeries(const ChartLine& line) {
  QXYSeries* series = nullptr;
  if (line.style == LineStyle::kPoints || line.style == LineStyle::kMarker) {
    auto* scatter = new QScatterSeries;
    scatter->setMarkerSize(line.style == LineStyle::kMarker ? 12 : 7);
    if (line.style == LineStyle::kMarker) {
      scatter->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    }
    series = scatter;
  } else {
    series = new QLineSeries;
  }
  series->setName(QString::fromStdString(line.name));
  for (const auto& [when, value] : line.points) {
    series->append(static_cast<qreal>(ToQt(when).toMSecsSinceEpoch()), value);
  }
  return series;
}

// After the chart gave the series its theme's colour: wider lines, dashes for what is projected.
void StyleLine(QXYSeries& series, LineStyle style) {
  if (style != LineStyle::kLine && style != LineStyle::kDashed) return;
  QPen pen = series.pen();
  pen.setWidthF(2.5);
  if (style == LineStyle::kDashed) pen.setStyle(Qt::DashLine);
  series.setPen(pen);
}

QFont Font(int points, bool bold = false) {
  QFont font;
  font.setPointSize(points);
  font.setBold(bold);
  return font;
}

void StyleAxis(QAbstractAxis& axis) {
  axis.setLabelsFont(Font(9));
  axis.setTitleFont(Font(9));
}

std::unique_ptr<QChart> NewChart(const std::string& title) {
  auto chart = std::make_unique<QChart>();
  chart->setTitle(QString::fromStdString(title));
  chart->setTitleFont(Font(12, true));
  chart->legend()->setFont(Font(9));
  chart->setAnimationOptions(QChart::NoAnimation);
  chart->legend()->setAlignment(Qt::AlignBottom);
  chart->resize(kWidth, kHeight);
  return chart;
}

// The generator opens a group for every change of pen or font, most of them closed again empty,
// and leaves blank lines between: three quarters of its text.
std::string WithoutEmptyGroups(const std::string& svg) {
  std::string kept;
  kept.reserve(svg.size());
  size_t at = 0;
  while (at < svg.size()) {
    const size_t open = svg.find("<g ", at);
    if (open == std::string::npos) break;
    const size_t open_end = svg.find('>', open);
    const size_t content = svg.find_first_not_of(" \t\r\n", open_end + 1);
    kept.append(svg, at, open - at);
    if (content != std::string::npos && svg.compare(content, 4, "</g>") == 0) {
      at = content + 4;
    } else {
      kept.append(svg, open, open_end + 1 - open);
      at = open_end + 1;
    }
  }
  kept.append(svg, std::min(at, svg.size()));
  std::string compact;
  compact.reserve(kept.size());
  for (char c : kept) {
    if (c != '\n' || compact.empty() || compact.back() != '\n') compact += c;
  }
  return compact;
}

// The whole chart as an <svg> element, without the XML prologue that would end an HTML page's
// parsing in some browsers.
std::string RenderSvg(QChart& chart) {
  QGraphicsScene scene;
  scene.addItem(&chart);
  chart.setGeometry(0, 0, kWidth, kHeight);
  // Axes, labels and the legend are laid out from the event loop.
  QApplication::processEvents();
  QBuffer buffer;
  QSvgGenerator generator;
  generator.setOutputDevice(&buffer);
  generator.setSize(QSize(kWidth, kHeight));
  generator.setViewBox(QRect(0, 0, kWidth, kHeight));
  {
    QPainter painter(&generator);
    scene.render(&painter, QRectF(0, 0, kWidth, kHeight), QRectF(0, 0, kWidth, kHeight));
  }
  scene.removeItem(&chart);
  std::string svg = buffer.data().toStdString();
  const size_t start = svg.find("<svg");
  return WithoutEmptyGroups(start == std::string::npos ? svg : svg.substr(start));
}

// A fixed top (utilisation: 0 to 120 %) keeps round ticks; otherwise nice numbers over the data.
void SetValueRange(QValueAxis& axis, const TimeChart& plan, double low, double high) {
  if (plan.y_min) low = *plan.y_min;
  if (plan.y_max && high <= *plan.y_max) {
    axis.setRange(low, *plan.y_max);
    axis.setTickCount(7);
    return;
  }
  axis.setRange(low, std::max(high * 1.05, low + 1));
  axis.applyNiceNumbers();
}

}  // namespace

void StartChartRendering() {
  if (QApplication::instance()) return;
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "kelvan-report";
  static char* argv[] = {name, nullptr};
  static QApplication application(argc, argv);
}

std::string TimeChartSvg(const TimeChart& plan) {
  auto chart = NewChart(plan.title);
  auto* x_axis = new QDateTimeAxis;
  x_axis->setFormat("d MMM yy");
  x_axis->setTitleText("date");
  auto* y_axis = new QValueAxis;
  y_axis->setTitleText(QString::fromStdString(plan.y_title));
  y_axis->setLabelFormat("%.0f");
  chart->addAxis(x_axis, Qt::AlignBottom);
  chart->addAxis(y_axis, Qt::AlignLeft);
  StyleAxis(*x_axis);
  StyleAxis(*y_axis);
  double low = 0, high = 1;
  qint64 first = std::numeric_limits<qint64>::max(), last = std::numeric_limits<qint64>::min();
  for (const ChartLine& line : plan.lines) {
    QXYSeries* series = MakeSeries(line);
    chart->addSeries(series);
    StyleLine(*series, line.style);
    series->attachAxis(x_axis);
    series->attachAxis(y_axis);
    for (const auto& [when, value] : line.points) {
      low = std::min(low, value);
      high = std::max(high, value);
      first = std::min(first, ToQt(when).toMSecsSinceEpoch());
      last = std::max(last, ToQt(when).toMSecsSinceEpoch());
    }
  }
  if (first < last) {
    x_axis->setRange(QDateTime::fromMSecsSinceEpoch(first), QDateTime::fromMSecsSinceEpoch(last));
  }
  SetValueRange(*y_axis, plan, low, high);
  return RenderSvg(*chart);
}

std::string BarChartSvg(const BarChart& plan) {
  auto chart = NewChart(plan.title);
  auto* series = new QStackedBarSeries;
  double high = 1;
  std::vector<double> totals(plan.categories.size(), 0);
  for (const BarSet& set : plan.sets) {
    auto* bars = new QBarSet(QString::fromStdString(set.name));
    for (size_t i = 0; i < set.values.size(); ++i) {
      *bars << set.values[i];
      if (i < totals.size()) totals[i] += set.values[i];
    }
    series->append(bars);
  }
  for (double total : totals) high = std::max(high, total);
  chart->addSeries(series);
  auto* x_axis = new QBarCategoryAxis;
  for (const std::string& category : plan.categories)
    x_axis->append(QString::fromStdString(category));
  x_axis->setLabelsAngle(-60);
  auto* y_axis = new QValueAxis;
  y_axis->setTitleText(QString::fromStdString(plan.y_title));
  y_axis->setLabelFormat("%.0f");
  y_axis->setRange(0, high * 1.05);
  y_axis->applyNiceNumbers();
  chart->addAxis(x_axis, Qt::AlignBottom);
  chart->addAxis(y_axis, Qt::AlignLeft);
  StyleAxis(*x_axis);
  StyleAxis(*y_axis);
  series->attachAxis(x_axis);
  series->attachAxis(y_axis);
  return RenderSvg(*chart);
}

}  // namespace kelvan::report
