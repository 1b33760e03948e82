// The controls of a dialog: each a Qt widget behind a window handle that
// answers its class's messages as the Win32 control does.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOptionGroupBox>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/windows/qt/qt_layer.h"

namespace platform::qt::detail {

LRESULT Window::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT:
      widget->setWindowTitle(FromText(reinterpret_cast<const char*>(lParam)));
      return TRUE;
    case WM_GETTEXT:
      return CopyText(widget->windowTitle(), wParam, lParam);
    case WM_GETTEXTLENGTH:
      return widget->windowTitle().toUtf8().size();
    default:
      return 0;
  }
}

class StaticControl final : public Window {
 public:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
    auto* label = static_cast<QLabel*>(widget);
    switch (message) {
      case WM_SETTEXT:
        label->setText(FromText(reinterpret_cast<const char*>(lParam)));
        return TRUE;
      case WM_GETTEXT:
        return CopyText(label->text(), wParam, lParam);
      case WM_GETTEXTLENGTH:
        return label->text().toUtf8().size();
      default:
        return 0;
    }
  }
};

class ButtonControl final : public Window {
 public:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
    auto* button = static_cast<QAbstractButton*>(widget);
    switch (message) {
      case WM_SETTEXT:
        button->setText(FromText(reinterpret_cast<const char*>(lParam)));
        return TRUE;
      case WM_GETTEXT:
        return CopyText(button->text(), wParam, lParam);
      case BM_GETCHECK:
        return button->isCheckable() && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
      case BM_SETCHECK: {
        if (!button->isCheckable()) return 0;
        // An exclusive group will not let its checked button go by itself.
        QButtonGroup* group = button->group();
        const bool exclusive = group != nullptr && group->exclusive();
        if (exclusive) group->setExclusive(false);
        button->setChecked(wParam == BST_CHECKED);
        if (exclusive) group->setExclusive(true);
        return 0;
      }
      case BM_CLICK:
        button->click();
        return 0;
      default:
        return 0;
    }
  }
};

class EditControl final : public Window {
 public:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
    auto* edit = static_cast<QLineEdit*>(widget);
    switch (message) {
      case WM_SETTEXT:
        edit->setText(FromText(reinterpret_cast<const char*>(lParam)));
        return TRUE;
      case WM_GETTEXT:
        return CopyText(edit->text(), wParam, lParam);
      case WM_GETTEXTLENGTH:
        return edit->text().toUtf8().size();
      default:
        return 0;
    }
  }
};

class ComboControl final : public Window {
 public:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
    auto* combo = static_cast<QComboBox*>(widget);
    switch (message) {
      case CB_ADDSTRING:
        combo->addItem(FromText(reinterpret_cast<const char*>(lParam)));
        return combo->count() - 1;
      case CB_GETCOUNT:
        return combo->count();
      case CB_GETCURSEL:
        return combo->currentIndex();
      case CB_SETCURSEL: {
        const int index = static_cast<int>(static_cast<intptr_t>(wParam));
        if (index >= combo->count()) return -1;  // CB_ERR
        combo->setCurrentIndex(index);
        return index;
      }
      default:
        return 0;
    }
  }
};

class ListBoxControl final : public Window {
 public:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
    auto* list = static_cast<QListWidget*>(widget);
    switch (message) {
      case LB_ADDSTRING:
        list->addItem(FromText(reinterpret_cast<const char*>(lParam)));
        return list->count() - 1;
      case LB_GETCOUNT:
        return list->count();
      case LB_GETTEXT: {
        const int index = static_cast<int>(wParam);
        if (index < 0 || index >= list->count() || lParam == 0) return -1;  // LB_ERR
        const QByteArray text = list->item(index)->text().toUtf8();
        std::memcpy(reinterpret_cast<char*>(lParam), text.constData(), static_cast<size_t>(text.size()) + 1);
        return text.size();
      }
      default:
        return 0;
    }
  }
};

class ProgressControl final : public Window {
 public:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
    switch (message) {
      case PBM_SETRANGE: {
        const LRESULT previous = MAKELPARAM(static_cast<WORD>(low_), static_cast<WORD>(high_));
        low_ = LOWORD(static_cast<uintptr_t>(lParam));
        high_ = HIWORD(static_cast<uintptr_t>(lParam));
        position_ = std::clamp(position_, low_, std::max(low_, high_));
        Show();
        return previous;
      }
      case PBM_SETSTEP: {
        const int previous = step_;
        step_ = static_cast<int>(wParam);
        return previous;
      }
      case PBM_SETPOS: {
        const int previous = position_;
        position_ = std::clamp(static_cast<int>(wParam), low_, std::max(low_, high_));
        Show();
        return previous;
      }
      case PBM_STEPIT: {
        const int previous = position_;
        position_ += step_;
        // Past the end the bar starts over from the beginning.
        if (position_ > high_) position_ = high_ > low_ ? low_ + (position_ - low_) % (high_ - low_) : low_;
        Show();
        return previous;
      }
      case PBM_GETPOS:
        return position_;
      case PBM_GETRANGE:
        return wParam != 0 ? low_ : high_;
      default:
        return 0;
    }
  }

 private:
  void Show() {
    auto* bar = static_cast<QProgressBar*>(widget);
    // An empty range is an empty bar here, not Qt's busy indicator.
    bar->setRange(0, std::max(1, high_ - low_));
    bar->setValue(position_ - low_);
    // Painted at once: the threads that move the bar often hold the
    // interface thread away from its event loop.
    bar->repaint();
  }
  int low_ = 0;
  int high_ = 100;
  int position_ = 0;
  int step_ = 10;
};

// The report list view: rows without text of their own, drawn by the
// dialog procedure through WM_DRAWITEM.
class ReportView final : public QTreeWidget {
 public:
  explicit ReportView(QWidget* parent) : QTreeWidget(parent) {}
  Window* window = nullptr;

 protected:
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  // Selections still pending from the inserts come before anything the
  // user does to the list.
  bool viewportEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // The procedure draws whole rows, the focus rectangle round all of one:
  // Qt would repaint only the cells that changed and leave pieces behind.
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

 private:
  void UpdateRows(int first, int last);
};

class ListViewControl final : public Window {
 public:
  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) override {
    auto* view = static_cast<ReportView*>(widget);
    if (message != LVM_INSERTITEMA) ApplySelections();
    switch (message) {
      case LVM_INSERTCOLUMNA: {
        const auto* column = reinterpret_cast<const LVCOLUMNA*>(lParam);
        if (column == nullptr) return -1;
        const int index = std::min(static_cast<int>(wParam), static_cast<int>(titles_.size()));
        titles_.insert(titles_.begin() + index, (column->mask & LVCF_TEXT) ? FromText(column->pszText) : QString());
        widths_.insert(widths_.begin() + index, (column->mask & LVCF_WIDTH) ? column->cx : 50);
        view->setColumnCount(static_cast<int>(titles_.size()));
        view->setHeaderLabels(QStringList(titles_.begin(), titles_.end()));
        for (size_t i = 0; i < widths_.size(); ++i) view->header()->resizeSection(static_cast<int>(i), widths_[i]);
        return index;
      }
      case LVM_GETCOLUMNWIDTH:
        return static_cast<int>(wParam) < view->columnCount() ? view->header()->sectionSize(static_cast<int>(wParam))
                                                               : 0;
      case LVM_INSERTITEMA: {
        const auto* item = reinterpret_cast<const LVITEMA*>(lParam);
        if (item == nullptr) return -1;
        const int index = std::clamp(item->iItem, 0, view->topLevelItemCount());
        auto* row = new QTreeWidgetItem();
        // Fixed rows, high enough for the 16-pixel images beside the text.
        row->setSizeHint(0, QSize(0, std::max(view->fontMetrics().height() + 3, 17)));
        row->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>((item->mask & LVIF_PARAM) ? item->lParam : 0));
        // Rows inserted before the pending selections move them down.
        for (int& pending : toSelect_)
          if (pending >= index) ++pending;
        view->insertTopLevelItem(index, row);
        if ((item->mask & LVIF_STATE) && (item->stateMask & LVIS_SELECTED) && (item->state & LVIS_SELECTED)) {
          // Selected together once the rows are in: one row at a time, the
          // view lays itself out again for each, and a long list takes
          // minutes instead of milliseconds.
          if (toSelect_.empty()) QTimer::singleShot(0, view, [this] { ApplySelections(); });
          toSelect_.push_back(index);
        }
        return index;
      }
      case LVM_DELETEALLITEMS:
        view->clear();
        return TRUE;
      case LVM_GETITEMCOUNT:
        return view->topLevelItemCount();
      case LVM_GETITEMSTATE: {
        const QTreeWidgetItem* row = view->topLevelItem(static_cast<int>(wParam));
        if (row == nullptr) return 0;
        UINT state = row->isSelected() ? static_cast<UINT>(LVIS_SELECTED) : 0u;
        if (view->currentItem() == row) state |= LVIS_FOCUSED;
        return static_cast<LRESULT>(state & static_cast<UINT>(lParam));
      }
      case LVM_SETITEMSTATE: {
        const auto* item = reinterpret_cast<const LVITEMA*>(lParam);
        if (item == nullptr || !(item->stateMask & LVIS_SELECTED)) return FALSE;
        const int index = static_cast<int>(static_cast<intptr_t>(wParam));
        for (int i = 0; i < view->topLevelItemCount(); ++i)
          if (index == -1 || i == index) view->topLevelItem(i)->setSelected((item->state & LVIS_SELECTED) != 0);
        return TRUE;
      }
      default:
        return 0;
    }
  }

  void ApplySelections() {
    if (toSelect_.empty()) return;
    auto* view = static_cast<ReportView*>(widget);
    std::sort(toSelect_.begin(), toSelect_.end());
    QItemSelection selection;
    const int last = view->columnCount() - 1;
    for (size_t i = 0; i < toSelect_.size();) {
      size_t j = i;
      while (j + 1 < toSelect_.size() && toSelect_[j + 1] <= toSelect_[j] + 1) ++j;
      QModelIndex top = view->model()->index(toSelect_[i], 0);
      QModelIndex bottom = view->model()->index(toSelect_[j], std::max(0, last));
      if (top.isValid() && bottom.isValid()) selection.select(top, bottom);
      i = j + 1;
    }
    toSelect_.clear();
    view->selectionModel()->select(selection, QItemSelectionModel::Select);
  }

 private:
  std::vector<QString> titles_;
  std::vector<int> widths_;
  std::vector<int> toSelect_;
};

bool ReportView::viewportEvent(QEvent* event) {
  if (window != nullptr) static_cast<ListViewControl*>(window)->ApplySelections();
  return QTreeWidget::viewportEvent(event);
}

void ReportView::keyPressEvent(QKeyEvent* event) {
  if (window != nullptr) static_cast<ListViewControl*>(window)->ApplySelections();
  QTreeWidget::keyPressEvent(event);
}

void ReportView::UpdateRows(int first, int last) {
  const QRect top = visualRect(model()->index(first, 0));
  const QRect bottom = visualRect(model()->index(last, 0));
  if (!top.isValid() || !bottom.isValid()) {
    viewport()->update();
    return;
  }
  viewport()->update(QRect(0, top.top(), viewport()->width(), bottom.bottom() - top.top() + 1));
}

void ReportView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTreeWidget::currentChanged(current, previous);
  if (previous.isValid()) UpdateRows(previous.row(), previous.row());
  if (current.isValid()) UpdateRows(current.row(), current.row());
}

void ReportView::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
  QTreeWidget::selectionChanged(selected, deselected);
  for (const QItemSelection* changed : {&selected, &deselected})
    for (const QItemSelectionRange& range : *changed) UpdateRows(range.top(), range.bottom());
}

void ReportView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  if (window == nullptr || window->dialog == nullptr) return;
  static_cast<ListViewControl*>(window)->ApplySelections();
  DeviceContext dc{painter, palette().color(QPalette::Text)};
  DRAWITEMSTRUCT item{};
  item.CtlType = ODT_LISTVIEW;
  item.CtlID = static_cast<UINT>(window->id);
  item.itemID = static_cast<UINT>(index.row());
  item.itemAction = ODA_DRAWENTIRE;
  // The view works out selection per cell; the row is the unit here.
  if (selectionModel() != nullptr && selectionModel()->isRowSelected(index.row(), index.parent()))
    item.itemState |= ODS_SELECTED;
  if ((option.state & QStyle::State_HasFocus) || (hasFocus() && currentIndex().row() == index.row()))
    item.itemState |= ODS_FOCUS;
  item.hwndItem = window;
  item.hDC = &dc;
  // The whole row, both columns: Windows hands the row over in one piece.
  const QRect row(0, option.rect.top(), std::max(viewport()->width(), header()->length()), option.rect.height());
  item.rcItem = ToRect(row);
  item.itemData = static_cast<ULONG_PTR>(index.data(Qt::UserRole).toLongLong());
  painter->save();
  window->dialog->Dispatch(WM_DRAWITEM, static_cast<WPARAM>(window->id), reinterpret_cast<LPARAM>(&item));
  painter->restore();
}

namespace {

// Whether the control's text shows whole: a static text's lines in its
// rectangle, a group's title as clear of the frame's right end as of its
// left, a push button's caption inside its bevel.
bool TextFits(const QWidget* control) {
  const QFontMetrics metrics = control->fontMetrics();
  const QRect r = control->rect();
  if (const auto* label = qobject_cast<const QLabel*>(control)) {
    const QRect lines = metrics.boundingRect(QRect(0, 0, r.width(), 10000), Qt::TextWordWrap, label->text());
    return lines.width() <= r.width() && lines.height() <= r.height();
  }
  if (const auto* box = qobject_cast<const QGroupBox*>(control)) {
    if (box->title().isEmpty()) return true;
    QStyleOptionGroupBox option;
    option.initFrom(box);
    option.text = box->title();
    option.textAlignment = box->alignment();
    option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
    const QRect title = box->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, box);
    return title.right() + 1 <= r.width() - title.left();
  }
  if (const auto* button = qobject_cast<const QPushButton*>(control))
    return metrics.horizontalAdvance(QString(button->text()).remove('&')) <= r.width() - 4;
  return true;
}

}  // namespace

void FitText(QWidget* control) {
  QFont font = control->font();
  for (int stretch = 96; stretch >= 80 && !TextFits(control); stretch -= 4) {
    font.setStretch(stretch);
    control->setFont(font);
  }
}

std::unique_ptr<Window> MakeControl(const ControlTemplate& c, QWidget* host, HINSTANCE instance, Dialog* dialog,
                                    QButtonGroup*& radios) {
  std::unique_ptr<Window> control;
  QWidget* widget = nullptr;
  const QString text = FromText(c.text);
  if (c.kind != ControlClass::RadioButton || (c.style & WS_GROUP)) radios = nullptr;
  switch (c.kind) {
    case ControlClass::StaticText: {
      auto* label = new QLabel(text, host);
      label->setTextFormat(Qt::PlainText);
      label->setWordWrap(true);
      label->setAlignment(((c.style & 0xF) == SS_CENTER ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignTop);
      widget = label;
      control = std::make_unique<StaticControl>();
      break;
    }
    case ControlClass::PushButton:
    case ControlClass::DefPushButton: {
      auto* button = new PushButton(text, host);
      // Enter is the dialog's to route, as on Windows.
      button->setAutoDefault(false);
      if (c.kind == ControlClass::DefPushButton) {
        button->setDefault(true);
        dialog->defaultId = c.id;
      }
      widget = button;
      control = std::make_unique<ButtonControl>();
      break;
    }
    case ControlClass::CheckBox:
      widget = new QCheckBox(text, host);
      control = std::make_unique<ButtonControl>();
      break;
    case ControlClass::RadioButton: {
      auto* radio = new QRadioButton(text, host);
      radio->setAutoExclusive(false);
      if (radios == nullptr) {
        radios = new QButtonGroup(host);
        radios->setExclusive(true);
      }
      radios->addButton(radio);
      widget = radio;
      control = std::make_unique<ButtonControl>();
      break;
    }
    case ControlClass::GroupBox: {
      auto* group = new QGroupBox(text, host);
      group->setAttribute(Qt::WA_TransparentForMouseEvents);
      widget = group;
      control = std::make_unique<Window>();
      break;
    }
    case ControlClass::Edit: {
      auto* edit = new QLineEdit(host);
      if (c.style & ES_CENTER) edit->setAlignment(Qt::AlignHCenter);
      edit->setFrame((c.style & WS_BORDER) != 0);
      widget = edit;
      control = std::make_unique<EditControl>();
      break;
    }
    case ControlClass::ComboBox:
      widget = new QComboBox(host);
      control = std::make_unique<ComboControl>();
      break;
    case ControlClass::ListBox: {
      auto* list = new QListWidget(host);
      if (c.style & LBS_MULTICOLUMN) {
        list->setFlow(QListView::TopToBottom);
        list->setWrapping(true);
        list->setResizeMode(QListView::Adjust);
      }
      list->setSelectionMode(QAbstractItemView::SingleSelection);
      widget = list;
      control = std::make_unique<ListBoxControl>();
      break;
    }
    case ControlClass::ListView: {
      auto* view = new ReportView(host);
      view->setRootIsDecorated(false);
      view->setIndentation(0);
      view->setUniformRowHeights(true);
      view->setSelectionMode(QAbstractItemView::ExtendedSelection);
      view->setSortingEnabled(false);
      view->header()->setSectionsClickable((c.style & LVS_NOSORTHEADER) == 0);
      view->header()->setStretchLastSection(false);
      view->header()->setSectionsMovable(false);
      widget = view;
      control = std::make_unique<ListViewControl>();
      view->window = control.get();
      break;
    }
    case ControlClass::ProgressBar: {
      auto* bar = new QProgressBar(host);
      bar->setTextVisible(false);
      bar->setRange(0, 100);
      bar->setValue(0);
      widget = bar;
      control = std::make_unique<ProgressControl>();
      break;
    }
    case ControlClass::Icon: {
      auto* label = new QLabel(host);
      const UINT iconId = c.text != nullptr && c.text[0] == '#' ? static_cast<UINT>(std::atoi(c.text + 1)) : 0;
      if (auto* icon = static_cast<GdiObject*>(layer->LoadIcon(instance, iconId)); icon != nullptr)
        label->setPixmap(QPixmap::fromImage(icon->image));
      widget = label;
      control = std::make_unique<StaticControl>();
      break;
    }
    case ControlClass::EtchedLine: {
      auto* line = new QFrame(host);
      line->setFrameShape(QFrame::HLine);
      line->setFrameShadow(QFrame::Sunken);
      widget = line;
      control = std::make_unique<Window>();
      break;
    }
  }
  control->widget = widget;
  return control;
}

}  // namespace platform::qt::detail
