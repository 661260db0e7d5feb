// The compare view: marks, filter, status text and takes against a reference file.
#include "editor/CompareSession.h"

#include "browser/EditingView.h"
#include "browser/RecordTreeModel.h"
#include "document/DocNotifier.h"
#include "model/CTLDoc.h"
#include "model/FieldType.h"
#include "model/TextEscape.h"
#include "ui/Messages.h"

#include <QAction>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>
#include <charconv>
#include <map>
#include <optional>

namespace tarlo {

namespace {

using model::EntryMark;

// Records opened by Show Only Differences at most (opening many is slow).
constexpr int kMaxOpened = 200;

// What an item text holds after the name: the value, or for an entry without
// one its size.
QString valueOf(const model::CTLDoc& d, int i)
{
    const std::string text = d.itemText(i);
    const std::size_t eq = text.find('=');
    if (eq != std::string::npos)
        return QString::fromUtf8(model::escapeItemText(text.substr(eq + 1)));
    return QStringLiteral("%1 bytes").arg(d.data(i).size());
}

std::optional<double> number(const QString& s)
{
    const QByteArray b = s.toLatin1();
    double v = 0;
    const auto [end, ec] = std::from_chars(b.constData(), b.constData() + b.size(), v);
    if (ec != std::errc() || end != b.constData() + b.size())
        return std::nullopt;
    return v;
}

// Current minus reference, with the current value's decimals and a sign.
QString numericDifference(const QString& reference, const QString& current)
{
    const auto a = number(reference), b = number(current);
    if (!a || !b)
        return {};
    const qsizetype dot = current.indexOf(QLatin1Char('.'));
    const int decimals = dot < 0 ? 0 : int(current.size() - dot - 1);
    const double d = *b - *a;
    const QString text = QString::fromStdString(model::formatFixed(d, decimals));
    return d > 0 ? QLatin1Char('+') + text : text;
}

} // namespace

CompareSession::CompareSession(
        document::DocNotifier& notifier, browser::EditingView& view, QUndoStack& history, QWidget* window)
        : QObject(window), notifier_(notifier), doc_(notifier.document()), view_(view), history_(history),
          window_(window)
{
    // After the tree's own handlers: its rows are those of the new list.
    connect(&notifier_, &document::DocNotifier::changed, this, [this](const model::Change& c) {
        if (!active() || batch_)
            return;
        // An undo or redo of a step made of many changes: once, at its end.
        if (c.origin != model::ChangeOrigin::Edit)
            stale_ = true;
        else
            recompute();
    });
    connect(&history_, &QUndoStack::indexChanged, this, [this] {
        if (stale_)
            recompute();
    });
    connect(&notifier_, &document::DocNotifier::loaded, this, [this] {
        if (!active())
            return;
        // A reload compares again; another file ends the compare.
        if (doc_.hasData() && doc_.fullPath() == comparedDocument_)
            recompute();
        else
            end();
    });
    // Saved under a new name: a reload reads that file and still compares.
    connect(&notifier_, &document::DocNotifier::saved, this, [this] {
        if (active())
            comparedDocument_ = doc_.fullPath();
    });
    connect(&view_, &browser::CTLView::rebuilt, this, [this] {
        if (active() && showOnly_)
            applyFilter();
    });
    connect(&view_, &QObject::destroyed, this, [this] { viewAlive_ = false; });
    connect(view_.selectionModel(), &QItemSelectionModel::currentChanged, this, [this] {
        if (active())
            showStatus();
        updateActions();
    });
    view_.setTableReferences(this);
}

CompareSession::~CompareSession()
{
    // The window deletes the view first; a tree that outlives the session
    // must not ask it for marks.
    if (viewAlive_ && view_.recordModel()->marks() == this)
        view_.recordModel()->setMarks(nullptr, {});
    if (viewAlive_ && view_.tableReferences() == this)
        view_.setTableReferences(nullptr);
}

void CompareSession::addCommands(QMenu* menu, std::function<QString()> choose)
{
    auto add = [&](const QString& text, const char* name, const QString& tip, auto slot) {
        auto* a = new QAction(text, menu);
        a->setObjectName(QLatin1String(name));
        a->setStatusTip(tip);
        connect(a, &QAction::triggered, this, slot);
        menu->addAction(a);
        return a;
    };
    compareWith_ = add(QStringLiteral("Compare &With..."), "compareWith",
            QStringLiteral("Compare the file with another AIR file or one of its backups"),
            [this, choose = std::move(choose)] {
                const QString path = choose();
                if (!path.isEmpty())
                    start(path);
            });
    showOnlyAction_ = add(QStringLiteral("Show Only &Differences"), "showOnlyDifferences",
            QStringLiteral("Show only the records that differ from the reference"),
            [this](bool on) { setShowOnlyDifferences(on); });
    showOnlyAction_->setCheckable(true);
    takeAction_ = add(QStringLiteral("&Take From Reference"), "takeFromReference",
            QStringLiteral("Give the selected field or record the reference's value"),
            [this] { takeSelected(); });
    takeAllAction_ = add(QStringLiteral("Take A&ll From Reference"), "takeAllFromReference",
            QStringLiteral("Give every record that differs the reference's values"), [this] { takeAll(); });
    endAction_ = add(QStringLiteral("&End Compare"), "endCompare",
            QStringLiteral("Return to the normal view of the file"), [this] { end(); });
    connect(menu, &QMenu::aboutToShow, this, &CompareSession::updateActions);
    connect(&notifier_, &document::DocNotifier::loaded, this, &CompareSession::updateActions);
    updateActions();
}

void CompareSession::updateActions()
{
    if (!compareWith_)
        return;
    compareWith_->setEnabled(doc_.hasData());
    showOnlyAction_->setEnabled(active());
    showOnlyAction_->setChecked(showOnly_);
    const QModelIndex cur = view_.currentIndex();
    const int i = browser::RecordTreeModel::entryOf(cur);
    takeAction_->setEnabled(active()
            && (browser::RecordTreeModel::otherRowOf(cur) >= 0
                    || (i > 0 && comparison_.markOf(i) != EntryMark::Same)));
    takeAllAction_->setEnabled(active() && comparison_.differingRecords > 0);
    endAction_->setEnabled(active());
}

QString CompareSession::chooseReference(QWidget* parent, const QString& current)
{
    const QStringList backups = backupsOf(current);
    auto otherFile = [&] {
        return QFileDialog::getOpenFileName(parent, QStringLiteral("Compare With"),
                QFileInfo(current).absolutePath(), QStringLiteral("Air Files (*.air);;All Files (*)"));
    };
    if (backups.isEmpty())
        return otherFile();
    // The backups first, newest first; any other file through the file dialog.
    QDialog dlg(parent);
    dlg.setWindowTitle(QStringLiteral("Compare With"));
    dlg.setObjectName(QStringLiteral("compareWithDialog"));
    auto* layout = new QVBoxLayout(&dlg);
    auto* label =
            new QLabel(QStringLiteral("Compare %1 with a backup:").arg(QFileInfo(current).fileName()), &dlg);
    auto* list = new QListWidget(&dlg);
    list->setObjectName(QStringLiteral("backupList"));
    label->setBuddy(list);
    list->setAccessibleName(QStringLiteral("Backups, newest first"));
    for (const QString& b : backups) {
        const QFileInfo info(b);
        auto* item = new QListWidgetItem(
                QStringLiteral("%1  (%2)")
                        .arg(info.fileName(),
                                info.lastModified().toString(QStringLiteral("yyyy-MM-dd HH:mm"))));
        item->setData(Qt::UserRole, b);
        list->addItem(item);
    }
    list->setCurrentRow(0);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dlg);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Compare"));
    QPushButton* other = buttons->addButton(QStringLiteral("Other File..."), QDialogButtonBox::ActionRole);
    layout->addWidget(label);
    layout->addWidget(list);
    layout->addWidget(buttons);
    QString chosen;
    connect(buttons, &QDialogButtonBox::accepted, &dlg, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dlg, &QDialog::reject);
    connect(list, &QListWidget::itemActivated, &dlg, &QDialog::accept);
    connect(other, &QPushButton::clicked, &dlg, [&] {
        chosen = otherFile();
        if (!chosen.isEmpty())
            dlg.done(QDialog::Accepted + 1);
    });
    const int result = dlg.exec();
    if (result == QDialog::Accepted && list->currentItem())
        return list->currentItem()->data(Qt::UserRole).toString();
    return result == QDialog::Accepted + 1 ? chosen : QString();
}

QStringList CompareSession::backupsOf(const QString& path)
{
    const QFileInfo file(path);
    const QString prefix = file.fileName() + QLatin1Char('.');
    const QRegularExpression digits(QStringLiteral("^[0-9]{3,}$"));
    std::multimap<qulonglong, QString, std::greater<>> found;
    const QDir dir = file.absoluteDir();
    for (const QString& name : dir.entryList({prefix + QStringLiteral("*")}, QDir::Files)) {
        const QString number = name.mid(prefix.size());
        if (name.startsWith(prefix) && digits.match(number).hasMatch())
            found.emplace(number.toULongLong(), dir.filePath(name));
    }
    QStringList out;
    for (const auto& [n, p] : found)
        out << p;
    return out;
}

bool CompareSession::start(const QString& path)
{
    if (!doc_.hasData())
        return false;
    auto reference = std::make_unique<model::CTLDoc>();
    reference->setDefinitionsPath(doc_.definitionsPath());
    const base::fileio::Error err = reference->load(QFile::encodeName(path).toStdString());
    if (err || !reference->hasData()) {
        const QString why = err.message.empty() ? QStringLiteral("it could not be read.")
                                                : QString::fromStdString(err.message);
        ui::tell(window_,
                QStringLiteral("Cannot compare with %1: %2").arg(QDir::toNativeSeparators(path), why),
                ui::Tone::Warning);
        return false;
    }
    reference_ = std::move(reference);
    path_ = QFileInfo(path).absoluteFilePath();
    comparedDocument_ = doc_.fullPath();
    recompute();
    return true;
}

void CompareSession::end()
{
    if (!active())
        return;
    std::vector<int> touched;
    for (std::size_t i = 0; i < comparison_.marks.size(); ++i)
        if (comparison_.marks[i] != EntryMark::Same)
            touched.push_back(int(i));
    reference_.reset();
    comparison_ = {};
    path_.clear();
    comparedDocument_.clear();
    browser::RecordTreeModel* m = view_.recordModel();
    m->setMarks(nullptr, touched);
    if (showOnly_) {
        showOnly_ = false;
        m->setRecordFilter({});
        view_.expand(m->indexForEntry(0));
        const int cur = view_.currentEntry();
        view_.selectEntry(cur >= 0 ? cur : 0);
    }
    emit statusText(view_.recordCountText());
    updateActions();
    view_.tableReferencesChanged();
}

void CompareSession::recompute()
{
    stale_ = false;
    if (!active())
        return;
    std::vector<int> touched;
    for (std::size_t i = 0; i < comparison_.marks.size(); ++i)
        if (comparison_.marks[i] != EntryMark::Same)
            touched.push_back(int(i));
    comparison_ = model::compareDocuments(*reference_, doc_);
    for (std::size_t i = 0; i < comparison_.marks.size(); ++i)
        if (comparison_.marks[i] != EntryMark::Same)
            touched.push_back(int(i));
    view_.recordModel()->setMarks(this, touched);
    if (showOnly_)
        applyFilter();
    showStatus();
    updateActions();
    view_.tableReferencesChanged();
}

void CompareSession::setShowOnlyDifferences(bool on)
{
    if (!active())
        on = false;
    if (on == showOnly_) {
        updateActions();
        return;
    }
    showOnly_ = on;
    browser::RecordTreeModel* m = view_.recordModel();
    const int cur = view_.currentEntry();
    if (on) {
        applyFilter();
    } else {
        m->setRecordFilter({});
        view_.expand(m->indexForEntry(0));
    }
    if (!view_.selectEntry(cur > 0 ? cur : 0))
        view_.selectEntry(0);
    updateActions();
}

void CompareSession::applyFilter()
{
    browser::RecordTreeModel* m = view_.recordModel();
    std::vector<browser::FilterShow> show(comparison_.marks.size(), browser::FilterShow::Hidden);
    std::vector<int> open;
    for (std::size_t i = 1; i < show.size(); ++i) {
        if (comparison_.marks[i] == EntryMark::Same || !doc_.isRecord(int(i)))
            continue;
        show[i] = browser::FilterShow::Matched;
        if (comparison_.changedFields[i] > 0 && int(open.size()) < kMaxOpened)
            open.push_back(int(i));
    }
    // The same records as before: no reset, so the tree keeps its state.
    if (m->filtered() && show == shown_)
        return;
    shown_ = show;
    const model::EntryKey selected = doc_.keyOf(view_.currentEntry());
    m->setRecordFilter(std::move(show));
    view_.expand(m->indexForEntry(0));
    for (const int r : open)
        view_.expand(m->indexForEntry(r));
    const int again = doc_.indexOf(selected);
    if (again < 0 || !view_.selectEntry(again))
        view_.selectEntry(0);
}

void CompareSession::showStatus()
{
    emit statusText(statusFor(view_.currentIndex()));
}

QString CompareSession::statusFor(const QModelIndex& index) const
{
    if (!active() || !index.isValid())
        return {};
    auto line = [](const QString& ref, const QString& cur, const QString& diff) {
        return QStringLiteral("Reference: %1 | Current: %2 | Difference: %3").arg(ref, cur, diff);
    };
    const QString none = QStringLiteral("(none)");
    if (const int k = browser::RecordTreeModel::otherRowOf(index); k >= 0) {
        const int r = comparison_.onlyInReference.at(std::size_t(k));
        return line(valueOf(*reference_, r), none, QStringLiteral("only in the reference"));
    }
    const int i = browser::RecordTreeModel::entryOf(index);
    if (i < 0)
        return {};
    if (i == 0)
        return QStringLiteral("Compared with %1: %2 records differ")
                .arg(QFileInfo(path_).fileName())
                .arg(comparison_.differingRecords);
    const int r = comparison_.referenceOf(i);
    const QString ref = r > 0 ? valueOf(*reference_, r) : none;
    const QString cur = valueOf(doc_, i);
    QString diff;
    EntryMark mark = comparison_.markOf(i);
    if (doc_.isField(i) && comparison_.markOf(doc_.entry(i).parent) == EntryMark::OnlyHere)
        mark = EntryMark::OnlyHere; // a field of a record only here
    switch (mark) {
    case EntryMark::Same:
        diff = QStringLiteral("none");
        break;
    case EntryMark::OnlyHere:
        diff = QStringLiteral("only in this file");
        break;
    case EntryMark::Changed:
        diff = numericDifference(ref, cur);
        if (const std::uint32_t n = comparison_.changedFields[std::size_t(i)]; diff.isEmpty() && n > 0)
            diff = n == 1 ? QStringLiteral("1 field differs") : QStringLiteral("%1 fields differ").arg(n);
        if (diff.isEmpty())
            diff = QStringLiteral("the bytes differ");
        break;
    }
    return line(ref, cur, diff);
}

std::vector<model::Change> CompareSession::takeAsOneStep(
        const QString& label, const std::function<std::vector<model::Change>()>& take)
{
    // Open table windows hand their edits to the document first; the take
    // then changes what they showed.
    view_.closeTableWindows();
    batch_ = true;
    history_.beginMacro(label);
    std::vector<model::Change> made = take();
    history_.endMacro();
    batch_ = false;
    if (made.empty() && history_.index() > 0) {
        // An empty step would undo nothing: an obsolete command goes when undone.
        const_cast<QUndoCommand*>(history_.command(history_.index() - 1))->setObsolete(true);
        history_.undo();
    }
    recompute();
    return made;
}

bool CompareSession::takeSelected()
{
    if (!active())
        return false;
    const QModelIndex cur = view_.currentIndex();
    const model::DocComparison c = comparison_;
    const model::CTLDoc& ref = *reference_;
    const QString label = QStringLiteral("Take From Reference");
    if (const int k = browser::RecordTreeModel::otherRowOf(cur); k >= 0) {
        const auto made = takeAsOneStep(
                label, [&] { return model::takeOnlyInReference(doc_, ref, c, std::size_t(k)); });
        if (!made.empty())
            view_.selectEntry(made.back().index); // the record added
        return !made.empty();
    }
    const int i = browser::RecordTreeModel::entryOf(cur);
    if (i <= 0 || c.markOf(i) == EntryMark::Same)
        return false;
    const model::EntryKey key = doc_.keyOf(i);
    const bool done = !takeAsOneStep(label, [&] { return model::takeEntry(doc_, ref, c, i); }).empty();
    if (const int now = doc_.indexOf(key); now > 0)
        view_.selectEntry(now);
    return done;
}

bool CompareSession::takeAll()
{
    if (!active() || comparison_.differingRecords == 0)
        return false;
    const model::DocComparison c = comparison_;
    return !takeAsOneStep(QStringLiteral("Take All From Reference"), [&] {
        return model::takeAll(doc_, *reference_, c);
    }).empty();
}

CompareSession::Mark CompareSession::markOf(int i) const
{
    switch (comparison_.markOf(i)) {
    case EntryMark::Changed:
        return Mark::Changed;
    case EntryMark::OnlyHere:
        return Mark::OnlyHere;
    case EntryMark::Same:
        break;
    }
    return Mark::None;
}

std::optional<tables::TableReference> CompareSession::referenceFor(int i) const
{
    const int r = active() ? comparison_.referenceOf(i) : -1;
    if (r <= 0)
        return std::nullopt;
    const auto bytes = reference_->data(r);
    return tables::TableReference{{bytes.begin(), bytes.end()}, QFileInfo(path_).fileName()};
}

int CompareSession::otherRowCount() const
{
    return int(comparison_.onlyInReference.size());
}

QString CompareSession::otherRowText(int row) const
{
    if (!reference_ || row < 0 || row >= otherRowCount())
        return {};
    const int r = comparison_.onlyInReference[std::size_t(row)];
    return QString::fromUtf8(model::escapeItemText(reference_->itemText(r)));
}

int CompareSession::otherRowTypeCode(int row) const
{
    if (!reference_ || row < 0 || row >= otherRowCount())
        return 0;
    return model::fieldTypeCode(reference_->entry(comparison_.onlyInReference[std::size_t(row)]).type);
}

} // namespace tarlo
