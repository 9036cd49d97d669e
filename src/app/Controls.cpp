#include "Controls.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <algorithm>

TCheckListBox::TCheckListBox(QWidget* parent) : QListView(parent), Items(new TCheckListModel(this))
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformItemSizes(true);

    // While the model changes its rows, Qt moves the view's current index on
    // its own (to a neighbour of a removed row, say); the model announces its
    // own current entry afterwards, so the view follows the model then.
    // These connections are made before the view's own (setModel below), so
    // they run first.
    auto begin = [this] { ++changing_; };
    auto end = [this] { --changing_; };
    connect(Items, &QAbstractItemModel::rowsAboutToBeInserted, this, begin);
    connect(Items, &QAbstractItemModel::rowsInserted, this, end);
    connect(Items, &QAbstractItemModel::rowsAboutToBeRemoved, this, begin);
    connect(Items, &QAbstractItemModel::rowsRemoved, this, end);
    connect(Items, &QAbstractItemModel::modelAboutToBeReset, this, begin);
    connect(Items, &QAbstractItemModel::modelReset, this, end);
    connect(Items, &QAbstractItemModel::layoutAboutToBeChanged, this, begin);
    connect(Items, &QAbstractItemModel::layoutChanged, this, end);
    connect(Items, &TCheckListModel::ItemIndexChanged, this, &TCheckListBox::showModelIndex);
    setModel(Items);
    // A model reset clears the view's current index (the view and its
    // selection model are told after the connections above), while the model
    // may keep its current entry at the same position and so announce
    // nothing: show it again, after them.
    connect(Items, &QAbstractItemModel::modelReset, this, [this] {
        if (Items->ItemIndex() >= 0)
            showModelIndex(Items->ItemIndex());
    });
}

void TCheckListBox::showModelIndex(int index)
{
    syncing_ = true;
    if (index < 0 || index >= model()->rowCount()) {
        selectionModel()->clear();
    } else {
        const QModelIndex mi = model()->index(index, 0);
        selectionModel()->setCurrentIndex(mi, QItemSelectionModel::ClearAndSelect);
        scrollTo(mi);
    }
    syncing_ = false;
}

void TCheckListBox::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QListView::currentChanged(current, previous);
    if (syncing_ || changing_ > 0)
        return;
    Items->SetItemIndex(current.isValid() ? current.row() : -1);
}

void TCheckListBox::focusInEvent(QFocusEvent* event)
{
    // Qt makes the first entry current when a list without one gets the
    // focus; here an entry becomes current only when the user picks it.
    const bool hadCurrent = currentIndex().isValid();
    syncing_ = true;
    QListView::focusInEvent(event);
    syncing_ = false;
    if (!hadCurrent && currentIndex().isValid() && Items->ItemIndex() < 0) {
        syncing_ = true;
        selectionModel()->clear();
        syncing_ = false;
    }
}

void TCheckListBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
}

void TCheckListBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    QListView::mouseReleaseEvent(event);
}

void TCheckListBox::dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    QListView::dataChanged(topLeft, bottomRight, roles);
    if (!QAccessible::isActive() || !roles.contains(Qt::CheckStateRole) || !topLeft.isValid())
        return;
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(this);
    QAccessibleTableInterface* table = list ? list->tableInterface() : nullptr;
    if (!table)
        return;
    // One change of many rows announces its first rows only; the others are
    // read with their state when reached.
    constexpr int kMaxAnnounced = 200;
    const int last = std::min(bottomRight.row(), topLeft.row() + kMaxAnnounced - 1);
    for (int row = topLeft.row(); row <= last; ++row) {
        QAccessibleInterface* cell = table->cellAt(row, 0);
        if (!cell)
            continue;
        QAccessible::State changed;
        changed.checked = true;
        QAccessibleStateChangeEvent event(cell, changed);
        QAccessible::updateAccessibility(&event);
    }
}

void TCheckListBox::keyPressEvent(QKeyEvent* event)
{
    // The Del key of the numeric keypad comes with the keypad modifier.
    if (event->key() == Qt::Key_Delete && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        event->accept();
        emit DeleteKeyPressed();
        return;
    }
    if (event->key() == Qt::Key_F10 && (event->modifiers() & ~Qt::KeypadModifier) == Qt::ShiftModifier) {
        // The context menu from the keyboard, as the Menu key gives it: at
        // the current entry (the list's top when there is none).
        event->accept();
        const QPoint at = inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, at, mapToGlobal(at), event->modifiers());
        QCoreApplication::sendEvent(this, &menu);
        return;
    }
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
        // Space flips the tick of the current entry (and nothing else).
        event->accept();
        const int i = Items->ItemIndex();
        if (i >= 0)
            Items->SetChecked(i, !Items->Checked(i));
        return;
    }
    QListView::keyPressEvent(event);
}

namespace {

// A counter as assistive tools see it: named by its caption; the figure is
// its value and its text (screen readers read a label's text through the
// text interface).
class TCounterAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit TCounterAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::StaticText) {}
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Value)
            return figure();
        return QAccessibleWidget::text(t);
    }
    // The text interface of a read-only text without selection or caret.
    void selection(int, int* startOffset, int* endOffset) const override { *startOffset = *endOffset = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int startOffset, int endOffset) const override
    {
        return figure().mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return static_cast<int>(figure().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* startOffset, int* endOffset) const override
    {
        *startOffset = 0;
        *endOffset = characterCount();
        return {};
    }

private:
    QString figure() const { return static_cast<QLabel*>(widget())->text(); }
};

QAccessibleInterface* counterAccessible(const QString& className, QObject* object)
{
    if (className == QLatin1String("TCounterLabel") && object && object->isWidgetType())
        return new TCounterAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

TCounterLabel::TCounterLabel(QWidget* parent) : QLabel(parent)
{
    static const bool installed = [] {
        QAccessible::installFactory(counterAccessible);
        return true;
    }();
    (void)installed;
}

TPageBufferEdit::TPageBufferEdit(QWidget* parent) : QWidget(parent)
{
    setVisible(false);
}

TRadioGroup::TRadioGroup(const QString& title, const QStringList& items, QWidget* parent)
    : QGroupBox(title, parent), group_(new QButtonGroup(this))
{
    auto* layout = new QVBoxLayout(this);
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        group_->addButton(b, i);
        layout->addWidget(b);
        buttons_.push_back(b);
    }
    // The items are named after the group ("RadioGroup2_Item0", ...), which
    // gets its name only after construction.
    auto nameItems = [this] {
        for (size_t i = 0; i < buttons_.size(); ++i)
            buttons_[i]->setObjectName(QStringLiteral("%1_Item%2").arg(objectName()).arg(i));
    };
    nameItems();
    connect(this, &QObject::objectNameChanged, this, nameItems);
}

int TRadioGroup::ItemIndex() const { return group_->checkedId(); }

void TRadioGroup::SetItemIndex(int index)
{
    if (index >= 0 && index < Count()) {
        buttons_[static_cast<size_t>(index)]->setChecked(true);
    } else if (QAbstractButton* b = group_->checkedButton()) {
        group_->setExclusive(false);
        b->setChecked(false);
        group_->setExclusive(true);
    }
}

QValidator::State TSingleLineValidator::validate(QString& input, int& pos) const
{
    const auto isBreak = [](QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n'); };
    qsizetype first = 0;
    while (first < input.size() && !isBreak(input[first]))
        ++first;
    if (first == input.size())
        return Acceptable;
    // The text inserted ends at the cursor: drop its part from the first
    // break on and keep what stood after it. Any other break goes too.
    const qsizetype end = std::max<qsizetype>(pos, first);
    QString kept = input.left(first);
    for (qsizetype k = end; k < input.size(); ++k)
        if (!isBreak(input[k]))
            kept += input[k];
    input = kept;
    pos = static_cast<int>(first);
    return Acceptable;
}

void SetGauge(QProgressBar* bar, int maximum, int position)
{
    bar->setRange(0, std::max(maximum, 1));
    SetGaugePosition(bar, maximum > 0 ? position : 0);
}

void SetGaugePosition(QProgressBar* bar, int position)
{
    bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
}

QPushButton* AddCloseRow(QDialog* dialog, QBoxLayout* layout)
{
    auto* close = new QPushButton(QStringLiteral("&Close"), dialog);
    close->setObjectName(QStringLiteral("cmdChiudi"));
    QObject::connect(close, &QPushButton::clicked, dialog, &QDialog::hide);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    row->addWidget(close);
    layout->addLayout(row);
    return close;
}
