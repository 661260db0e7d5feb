#include "hexedit/CHexDataDlg.h"

#include "hexedit/CHexDataCtrl.h"

#include <QFontMetrics>
#include <QPushButton>

#include <algorithm>
#include <cmath>

namespace hexedit {

namespace {

// Dialog units of the dialog's font: 4 per average character width
// horizontally, 8 per character height vertically.
struct DialogUnits {
    double x = 1.5, y = 1.625;
    explicit DialogUnits(const QFont& f)
    {
        const QFontMetrics fm(f);
        const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        const double avg = fm.horizontalAdvance(alphabet) / 52.0;
        if (avg > 0)
            x = avg / 4.0;
        if (fm.height() > 0)
            y = fm.height() / 8.0;
    }
    int px(int dlu) const { return static_cast<int>(std::lround(dlu * x)); }
    int py(int dlu) const { return static_cast<int>(std::lround(dlu * y)); }
};

} // namespace

CHexDataDlg::CHexDataDlg(std::vector<std::uint8_t> workingCopy, QWidget* parent)
        : QDialog(parent), bytes_(std::move(workingCopy))
{
    setWindowTitle(QStringLiteral("Edit Hex Data"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint
            | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);

    ctrl_ = new CHexDataCtrl(this);
    ctrl_->setBytesPerLine(8);
    // Four offset digits, as long as every row offset fits in them.
    ctrl_->setWideOffsets(bytes_.size() > 0x10000);
    ctrl_->setData(bytes_.empty() ? nullptr : bytes_.data(), static_cast<std::int64_t>(bytes_.size()));

    ok_ = new QPushButton(QStringLiteral("OK"), this);
    cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    ok_->setDefault(true);
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

    // Placement in dialog units: control (7, 7, 205 x 168), OK (7, 183,
    // 90 x 20), Cancel (122, 183, 90 x 20) in a 219 x 210 dialog. The control
    // grows when its font needs more room for eight bytes a row.
    const DialogUnits du(font());
    const int margin = du.px(7);
    const int ctrlW = std::max(du.px(205), ctrl_->sizeHint().width());
    const int ctrlH = std::max(du.py(168), ctrl_->sizeHint().height() / 2);
    ctrl_->setGeometry(margin, du.py(7), ctrlW, ctrlH);
    const int buttonY = du.py(7) + ctrlH + (du.py(183) - du.py(175));
    const int buttonW = du.px(90);
    const int buttonH = std::max(du.py(20), ok_->sizeHint().height());
    ok_->setGeometry(margin, buttonY, buttonW, buttonH);
    cancel_->setGeometry(margin + ctrlW - buttonW, buttonY, buttonW, buttonH);
    const int width = margin + ctrlW + (du.px(219) - du.px(212));
    const int height = buttonY + buttonH + (du.py(210) - du.py(203));
    setFixedSize(width, height);

    setTabOrder(ctrl_, ok_);
    setTabOrder(ok_, cancel_);
    ctrl_->setFocus(Qt::OtherFocusReason);
}

CHexDataDlg::~CHexDataDlg() = default;

bool CHexDataDlg::editBytes(std::span<std::uint8_t> bytes, QWidget* parent)
{
    CHexDataDlg dlg(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), parent);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    // The control never changes the length of its buffer.
    std::copy_n(dlg.data().begin(), std::min(bytes.size(), dlg.data().size()), bytes.begin());
    return true;
}

} // namespace hexedit
