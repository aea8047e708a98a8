#pragma once
// The controls of the three windows. Each keeps Qt's own interface and adds the operations
// the program uses, in GBK texts: read and write text, captions, pictures as image bytes,
// list rows, status panels. Geometry is absolute; nothing here lays anything out.
#include <QAbstractTableModel>
#include <QFrame>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeView>
#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "util/text.h"

namespace velnox {

// Read and write a control's left, top, width and height (relative to its parent).
void setLeft(QWidget* widget, int left);
void setTop(QWidget* widget, int top);
void setWidth(QWidget* widget, int width);
void setHeight(QWidget* widget, int height);

// Shows a picture given as the bytes of an image file, centred; a picture larger than the box
// is scaled down keeping its proportions, a smaller one is drawn at its own size.
class PictureBox : public QFrame {
  Q_OBJECT
 public:
  explicit PictureBox(QWidget* parent = nullptr);

  // Empty bytes clear the picture. Bytes that do not decode keep the bytes and show nothing.
  void writePicture(std::string_view bytes);
  // The bytes last written, unchanged.
  const Bytes& readPicture() const { return m_bytes; }
  void setBorder(bool on);
  bool hasBorder() const { return frameShape() != QFrame::NoFrame; }
  // The decoded picture (null when none) and where it is drawn, in widget coordinates.
  const QImage& image() const { return m_image; }
  QRect pictureRect() const;

 signals:
  void leftReleased();
  // Wheel notches, positive away from the user.
  void wheelTurned(int notches);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  Bytes m_bytes;
  QImage m_image;
  QPixmap m_scaled;     // the picture at its drawn size, made on first paint
  int m_wheelRest = 0;  // wheel turn not yet reported as a whole notch
};

// Decodes image file bytes for display: PNG and JPEG through libpng / libjpeg, other formats
// through Qt's readers. A null image when the bytes do not decode or the picture is too large.
QImage decodeImage(std::string_view bytes);

// A single-line edit box.
class EditBox : public QLineEdit {
  Q_OBJECT
 public:
  explicit EditBox(QWidget* parent = nullptr);
  Text readText() const;
  void writeText(std::string_view gbk);
  void appendText(std::string_view gbk);
  void setBorder(bool on) { setFrame(on); }

 signals:
  void leftReleased();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
};

// A multi-line edit box. Lines are separated by CR LF in the texts it reads and writes.
class MultiLineEditBox : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit MultiLineEditBox(QWidget* parent = nullptr);
  Text readText() const;
  void writeText(std::string_view gbk);
  // Inserts at the end of the text, as typing there would.
  void appendText(std::string_view gbk);
  void setBorder(bool on);
};

class Button : public QPushButton {
  Q_OBJECT
 public:
  explicit Button(QWidget* parent = nullptr);
  void writeCaption(std::string_view gbk);
  Text readCaption() const;
};

// A group box without caption. It paints its own background, so whatever it is raised over
// (the update panel over the catalogue list) does not show through.
class GroupBox : public QGroupBox {
  Q_OBJECT
 public:
  explicit GroupBox(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// A plain area that reports the wheel turned over it.
class Canvas : public QFrame {
  Q_OBJECT
 public:
  explicit Canvas(QWidget* parent = nullptr);
 signals:
  void wheelTurned(int notches);

 protected:
  void wheelEvent(QWheelEvent* event) override;

 private:
  int m_wheelRest = 0;
};

// A vertical scroll bar. userMoved reports only positions the user chose (dragging, arrows,
// page clicks, keys); positions written by code do not raise it.
class ScrollBar : public QScrollBar {
  Q_OBJECT
 public:
  explicit ScrollBar(QWidget* parent = nullptr);
  int readPosition() const { return value(); }
  // Stored within the range, as the platform's scroll bars do.
  void writePosition(int position) { setValue(position); }
  int readMaximum() const { return maximum(); }
  // A maximum below the minimum is stored as the minimum.
  void writeMaximum(int maximum);

 signals:
  void userMoved(int position);

 private:
  bool m_userAction = false;
};

// The status bar: panels side by side, addressed from 0.
class StatusBar : public QFrame {
  Q_OBJECT
 public:
  struct Panel {
    int width;
    Text text;
    Text tooltip;
  };
  explicit StatusBar(QWidget* parent = nullptr);
  void setPanels(const std::vector<Panel>& panels);
  int panelCount() const { return static_cast<int>(m_labels.size()); }
  // An index outside the panels is ignored (reads give the empty text).
  void setPanelText(int index, std::string_view gbk);
  Text panelText(int index) const;
  QLabel* panelLabel(int index) const;

 private:
  std::vector<QLabel*> m_labels;
  std::vector<Text> m_texts;
};

// Rows a list shows without holding them as cells: each cell is made when it is read. A long
// list whose cells are cheap to make from compact data then costs time and memory only for
// the rows on screen. The rows must not change while a list shows them.
class RowSource {
 public:
  virtual ~RowSource() = default;
  virtual int rowCount() const = 0;
  // The GBK text of a cell; row is within the rows, column may lie beyond the source's own.
  virtual Text cell(int row, int column) const = 0;
};

// The rows of a report-view list: GBK cells, converted for display only when painted. The
// rows are either held as cells or read from a RowSource; a source is turned into held cells
// the first time a single row or cell is changed.
class ListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  using Row = std::vector<Text>;
  explicit ListModel(QObject* parent = nullptr);

  void setColumnTitles(std::vector<Text> titles);
  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  void clearRows();
  int insertEmptyRow(int index);
  bool setCell(int row, int column, std::string_view gbk);
  Text cell(int row, int column) const;
  void replaceRows(std::vector<Row> rows);
  void replaceRowSource(std::unique_ptr<const RowSource> source);

 private:
  void holdSourceRows();

  std::vector<Text> m_titles;
  std::vector<Row> m_rows;
  std::unique_ptr<const RowSource> m_source;  // when set, the rows; m_rows is then empty
};

// The report-view list view. Rows and columns count from 0.
class ListView : public QTreeView {
  Q_OBJECT
 public:
  struct Column {
    Text title;
    int width;
  };
  explicit ListView(QWidget* parent = nullptr);
  void setColumns(const std::vector<Column>& columns);

  int rowCount() const { return m_model->rowCount(); }
  int columnCount() const { return m_model->columnCount(); }
  void deleteAllRows();
  // Inserts an empty row before index (index outside the rows, or -1: at the end) and
  // returns where it went.
  int insertRow(int index = -1);
  // False for a cell outside the list.
  bool setCellText(int row, int column, std::string_view gbk);
  Text cellText(int row, int column) const;
  // -1 when no row is selected.
  int selectedRow() const;
  void selectRow(int row);
  // Replaces every row in one step: views and handlers never see a half-built list.
  void replaceRows(std::vector<ListModel::Row> rows);
  void replaceRowSource(std::unique_ptr<const RowSource> source);
  ListModel* listModel() const { return m_model; }

 signals:
  // A double-click on a row.
  void rowDoubleClicked();

 private:
  ListModel* m_model;
};

}  // namespace velnox
