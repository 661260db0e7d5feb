#pragma once
// The modal "Edit Hex Data" dialog: edits a working copy of an entry's bytes
// in a CHexDataCtrl; the caller copies the bytes back only after OK.
//
//   CHexDataDlg dlg(std::vector<std::uint8_t>(bytes.begin(), bytes.end()), parent);
//   if (dlg.exec() == QDialog::Accepted) use(dlg.data());
//
// or in one call: if (CHexDataDlg::editBytes(span, parent)) use(span);

#include <QDialog>

#include <cstdint>
#include <span>
#include <vector>

class QPushButton;

namespace hexedit {

class CHexDataCtrl;

class CHexDataDlg : public QDialog {
    Q_OBJECT
public:
    // The dialog owns the working copy; its length never changes.
    explicit CHexDataDlg(std::vector<std::uint8_t> workingCopy, QWidget* parent = nullptr);
    ~CHexDataDlg() override;

    const std::vector<std::uint8_t>& data() const { return bytes_; }
    CHexDataCtrl* hexCtrl() const { return ctrl_; }
    QPushButton* okButton() const { return ok_; }
    QPushButton* cancelButton() const { return cancel_; }

    // Runs the dialog modally on a copy of `bytes`. On OK the edited copy is
    // written back over `bytes` (same length) and true is returned, whether or
    // not a byte changed: the editor hands the copy to its document, which
    // records a change (and marks itself modified) only for bytes that differ.
    // On any other ending `bytes` are untouched and false is returned.
    static bool editBytes(std::span<std::uint8_t> bytes, QWidget* parent = nullptr);

private:
    std::vector<std::uint8_t> bytes_;
    CHexDataCtrl* ctrl_ = nullptr;
    QPushButton* ok_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

} // namespace hexedit
