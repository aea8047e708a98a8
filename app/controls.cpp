#include "app/controls.h"

#include <QBuffer>
#include <QHeaderView>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QTextCursor>
#include <QWheelEvent>
#include <cstring>
#include <memory>

#include "app/qt_text.h"
#include "util/picture.h"

namespace velnox {

void setLeft(QWidget* widget, int left) { widget->move(left, widget->y()); }
void setTop(QWidget* widget, int top) { widget->move(widget->x(), top); }
void setWidth(QWidget* widget, int width) { widget->resize(width, widget->height()); }
void setHeight(QWidget* widget, int height) { widget->resize(widget->width(), height); }

namespace {

// Whole notches of a wheel turn (one notch is 120, positive away from the user). Smooth wheels
// and touch pads send parts of a notch: those are kept in rest and add up to whole notches,
// so slow turns scroll too. A turn the other way drops what was kept of the last direction.
int wheelNotches(const QWheelEvent* event, int& rest) {
  const int delta = event->angleDelta().y();
  if ((delta > 0 && rest < 0) || (delta < 0 && rest > 0)) rest = 0;
  rest += delta;
  const int notches = rest / 120;
  rest -= notches * 120;
  return notches;
}

bool isPngOrJpeg(std::string_view b) {
  if (b.size() >= 8 && std::memcmp(b.data(), "\x89PNG\r\n\x1a\n", 8) == 0) return true;
  return b.size() >= 3 && static_cast<unsigned char>(b[0]) == 0xFF &&
         static_cast<unsigned char>(b[1]) == 0xD8 && static_cast<unsigned char>(b[2]) == 0xFF;
}

// Same limits as the PNG and JPEG decoders.
constexpr int kMaxSide = 16384;
constexpr qint64 kMaxPixels = 64ll * 1024 * 1024;

// Lines are CR LF in the program's texts and LF inside Qt's text widgets.
QString toWidgetLines(std::string_view gbk) {
  return toQString(gbk).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
Text fromWidgetLines(QString text) {
  return fromQString(text.replace(QLatin1Char('\n'), QStringLiteral("\r\n")));
}

}  // namespace

QImage decodeImage(std::string_view bytes) {
  if (bytes.empty()) return {};
  if (isPngOrJpeg(bytes)) {
    std::optional<DecodedPicture> picture = decodePicture(bytes);
    if (!picture) return {};
    // The image uses the decoded buffer as it is; it frees the buffer when the last copy goes.
    auto* pixels = new std::vector<uint8_t>(std::move(picture->rgba));
    return QImage(
        pixels->data(), picture->width, picture->height, picture->width * 4, QImage::Format_RGBA8888,
        [](void* p) { delete static_cast<std::vector<uint8_t>*>(p); }, pixels);
  }
  QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QBuffer buffer(&data);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  const QSize size = reader.size();
  if (!size.isValid() || size.width() > kMaxSide || size.height() > kMaxSide ||
      qint64{size.width()} * size.height() > kMaxPixels)
    return {};
  QImage image = reader.read();
  // The reader worked on borrowed bytes; keep a picture of its own.
  if (!image.isNull()) image.detach();
  return image;
}

// --- PictureBox ---

PictureBox::PictureBox(QWidget* parent) : QFrame(parent) { setBorder(true); }

void PictureBox::writePicture(std::string_view bytes) {
  m_bytes.assign(bytes.data(), bytes.size());
  m_image = decodeImage(bytes);
  m_scaled = QPixmap();
  update();
}

void PictureBox::setBorder(bool on) {
  setFrameStyle(on ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
  setLineWidth(1);
  m_scaled = QPixmap();
  update();
}

QRect PictureBox::pictureRect() const {
  if (m_image.isNull()) return {};
  const QRect area = contentsRect();
  QSize size = m_image.size();
  if (size.width() > area.width() || size.height() > area.height())
    size.scale(area.size(), Qt::KeepAspectRatio);
  const QPoint topLeft(area.x() + (area.width() - size.width()) / 2,
                       area.y() + (area.height() - size.height()) / 2);
  return QRect(topLeft, size);
}

void PictureBox::paintEvent(QPaintEvent* event) {
  {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    const QRect target = pictureRect();
    if (!target.isEmpty()) {
      if (m_scaled.size() != target.size()) {
        m_scaled = target.size() == m_image.size()
                       ? QPixmap::fromImage(m_image)
                       : QPixmap::fromImage(
                             m_image.scaled(target.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
      }
      painter.drawPixmap(target.topLeft(), m_scaled);
    }
  }
  QFrame::paintEvent(event);  // the border
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit leftReleased();
  QFrame::mouseReleaseEvent(event);
}

void PictureBox::wheelEvent(QWheelEvent* event) {
  event->accept();
  const int notches = wheelNotches(event, m_wheelRest);
  if (notches != 0) emit wheelTurned(notches);
}

// --- Edit boxes ---

EditBox::EditBox(QWidget* parent) : QLineEdit(parent) {}

Text EditBox::readText() const { return fromQString(text()); }
void EditBox::writeText(std::string_view gbk) { setText(toQString(gbk)); }
void EditBox::appendText(std::string_view gbk) { setText(text() + toQString(gbk)); }

void EditBox::mouseReleaseEvent(QMouseEvent* event) {
  QLineEdit::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit leftReleased();
}

MultiLineEditBox::MultiLineEditBox(QWidget* parent) : QPlainTextEdit(parent) {}

Text MultiLineEditBox::readText() const { return fromWidgetLines(toPlainText()); }
void MultiLineEditBox::writeText(std::string_view gbk) { setPlainText(toWidgetLines(gbk)); }

void MultiLineEditBox::appendText(std::string_view gbk) {
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(toWidgetLines(gbk));
  setTextCursor(cursor);
}

void MultiLineEditBox::setBorder(bool on) {
  setFrameStyle(on ? (QFrame::Box | QFrame::Plain) : QFrame::NoFrame);
  setLineWidth(1);
}

// --- Button, group box, canvas ---

Button::Button(QWidget* parent) : QPushButton(parent) {}
void Button::writeCaption(std::string_view gbk) { setText(toQString(gbk)); }
Text Button::readCaption() const { return fromQString(text()); }

GroupBox::GroupBox(QWidget* parent) : QGroupBox(parent) { setAutoFillBackground(true); }

void GroupBox::paintEvent(QPaintEvent*) {
  // The background is filled in the box's own colour (the style's group frame would tint it);
  // a plain etched line marks the edge.
  QPainter painter(this);
  const QRect edge = rect().adjusted(0, 0, -1, -1);
  painter.setPen(palette().color(QPalette::Mid));
  painter.drawRect(edge);
}

Canvas::Canvas(QWidget* parent) : QFrame(parent) {}

void Canvas::wheelEvent(QWheelEvent* event) {
  event->accept();
  const int notches = wheelNotches(event, m_wheelRest);
  if (notches != 0) emit wheelTurned(notches);
}

// --- ScrollBar ---

ScrollBar::ScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {
  // The platform's default range for a scroll bar of a form.
  setRange(0, 100);
  setSingleStep(1);
  setPageStep(10);
  // Every move the user makes goes through an action; the value follows right after it.
  connect(this, &QAbstractSlider::actionTriggered, this,
          [this](int) { m_userAction = sliderPosition() != value(); });
  connect(this, &QAbstractSlider::valueChanged, this, [this](int position) {
    if (!m_userAction) return;
    m_userAction = false;
    emit userMoved(position);
  });
}

void ScrollBar::writeMaximum(int maximum) { setMaximum(std::max(maximum, minimum())); }

// --- StatusBar ---

StatusBar::StatusBar(QWidget* parent) : QFrame(parent) {}

void StatusBar::setPanels(const std::vector<Panel>& panels) {
  for (QLabel* label : m_labels) delete label;
  m_labels.clear();
  m_texts.clear();
  int left = 0;
  for (const Panel& panel : panels) {
    auto* label = new QLabel(this);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setGeometry(left, 0, panel.width, height());
    label->setTextFormat(Qt::PlainText);
    label->setContentsMargins(2, 0, 2, 0);
    if (!panel.tooltip.empty()) label->setToolTip(toQString(panel.tooltip));
    left += panel.width;
    m_labels.push_back(label);
    m_texts.emplace_back();
    setPanelText(static_cast<int>(m_labels.size()) - 1, panel.text);
  }
}

void StatusBar::setPanelText(int index, std::string_view gbk) {
  if (index < 0 || index >= panelCount()) return;
  m_texts[index].assign(gbk.data(), gbk.size());
  m_labels[index]->setText(toQString(gbk));
}

Text StatusBar::panelText(int index) const {
  if (index < 0 || index >= panelCount()) return {};
  return m_texts[index];
}

QLabel* StatusBar::panelLabel(int index) const {
  if (index < 0 || index >= panelCount()) return nullptr;
  return m_labels[index];
}

// --- ListModel ---

ListModel::ListModel(QObject* parent) : QAbstractTableModel(parent) {}

void ListModel::setColumnTitles(std::vector<Text> titles) {
  beginResetModel();
  m_titles = std::move(titles);
  for (Row& row : m_rows) row.resize(m_titles.size());
  endResetModel();
}

int ListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return m_source ? m_source->rowCount() : static_cast<int>(m_rows.size());
}

int ListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_titles.size());
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::DisplayRole || !index.isValid()) return {};
  return toQString(cell(index.row(), index.column()));
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 ||
      section >= static_cast<int>(m_titles.size()))
    return {};
  return toQString(m_titles[section]);
}

void ListModel::clearRows() {
  beginResetModel();
  m_rows.clear();
  m_source.reset();
  endResetModel();
}

void ListModel::holdSourceRows() {
  if (!m_source) return;
  // The texts stay what they were, so the views need no notice.
  const int count = m_source->rowCount();
  std::vector<Row> rows(static_cast<size_t>(count));
  for (int r = 0; r < count; ++r) {
    Row& row = rows[static_cast<size_t>(r)];
    row.reserve(m_titles.size());
    for (int c = 0; c < static_cast<int>(m_titles.size()); ++c) row.push_back(m_source->cell(r, c));
  }
  m_rows = std::move(rows);
  m_source.reset();
}

int ListModel::insertEmptyRow(int index) {
  holdSourceRows();
  const int count = static_cast<int>(m_rows.size());
  if (index < 0 || index > count) index = count;
  beginInsertRows(QModelIndex(), index, index);
  m_rows.insert(m_rows.begin() + index, Row(m_titles.size()));
  endInsertRows();
  return index;
}

bool ListModel::setCell(int row, int column, std::string_view gbk) {
  if (row < 0 || row >= rowCount() || column < 0 || column >= static_cast<int>(m_titles.size())) return false;
  holdSourceRows();
  m_rows[row][column].assign(gbk.data(), gbk.size());
  const QModelIndex changed = index(row, column);
  emit dataChanged(changed, changed, {Qt::DisplayRole});
  return true;
}

Text ListModel::cell(int row, int column) const {
  if (m_source) {
    if (row < 0 || row >= m_source->rowCount() || column < 0 || column >= static_cast<int>(m_titles.size()))
      return {};
    return m_source->cell(row, column);
  }
  if (row < 0 || row >= static_cast<int>(m_rows.size()) || column < 0 ||
      column >= static_cast<int>(m_rows[row].size()))
    return {};
  return m_rows[row][column];
}

void ListModel::replaceRows(std::vector<Row> rows) {
  beginResetModel();
  m_rows = std::move(rows);
  m_source.reset();
  for (Row& row : m_rows) row.resize(m_titles.size());
  endResetModel();
}

void ListModel::replaceRowSource(std::unique_ptr<const RowSource> source) {
  beginResetModel();
  m_rows = std::vector<Row>();
  m_source = std::move(source);
  endResetModel();
}

// --- ListView ---

ListView::ListView(QWidget* parent) : QTreeView(parent), m_model(new ListModel(this)) {
  setModel(m_model);
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  header()->setSectionsMovable(false);
  header()->setStretchLastSection(false);
  connect(this, &QAbstractItemView::doubleClicked, this,
          [this](const QModelIndex&) { emit rowDoubleClicked(); });
}

void ListView::setColumns(const std::vector<Column>& columns) {
  std::vector<Text> titles;
  for (const Column& column : columns) titles.push_back(column.title);
  m_model->setColumnTitles(std::move(titles));
  for (size_t i = 0; i < columns.size(); ++i) setColumnWidth(static_cast<int>(i), columns[i].width);
}

void ListView::deleteAllRows() { m_model->clearRows(); }
int ListView::insertRow(int index) { return m_model->insertEmptyRow(index); }
bool ListView::setCellText(int row, int column, std::string_view gbk) {
  return m_model->setCell(row, column, gbk);
}
Text ListView::cellText(int row, int column) const { return m_model->cell(row, column); }

int ListView::selectedRow() const {
  const QModelIndexList rows = selectionModel()->selectedRows();
  return rows.isEmpty() ? -1 : rows.first().row();
}

void ListView::selectRow(int row) {
  if (row < 0 || row >= rowCount()) {
    selectionModel()->clearSelection();
    return;
  }
  const QModelIndex index = m_model->index(row, 0);
  selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  setCurrentIndex(index);
}

void ListView::replaceRows(std::vector<ListModel::Row> rows) { m_model->replaceRows(std::move(rows)); }
void ListView::replaceRowSource(std::unique_ptr<const RowSource> source) {
  m_model->replaceRowSource(std::move(source));
}

}  // namespace velnox
