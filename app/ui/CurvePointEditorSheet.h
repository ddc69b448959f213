#pragma once

#include "app/l10n/AppLanguage.h"
#include "app/model/AerivoProfile.h"
#include "app/model/Uuid.h"

#include <QDialog>

#include <functional>
#include <optional>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace aerivo {

// The modal editor for one point's exact values: two whole-number fields (temperature and speed),
// each with the range the point may take, and Cancel / Save. An emptied or half-typed field keeps
// the value it last stood for. Save clamps the typed values into
// the point's editing bounds, commits them and closes; without bounds (the point is gone) it is
// disabled and nothing is committed.
class CurvePointEditorSheet final : public QDialog {
public:
    static constexpr int sheetWidth = 380;
    static constexpr int fieldWidth = 90;

    using Commit = std::function<void(const Uuid& id, double temperatureC, double rpm)>;

    // `profile` is read again whenever the sheet needs the point or its bounds.
    CurvePointEditorSheet(std::function<const AerivoProfile&()> profile, Uuid pointID,
                          AppLanguage language, Commit onCommit, QWidget* parent = nullptr);

    // The values the fields stand for: a field takes what was typed when its editing finishes
    // (Return, leaving it) or on Save, and only when that is a complete whole number.
    double temperatureC() const { return temperatureC_; }
    double rpm() const { return rpm_; }
    const Uuid& pointID() const { return pointID_; }

    // Re-reads the bounds: the allowed ranges, the form's visibility and Save's state.
    void refresh();
    // Clamps into the current bounds and calls the commit action; nothing without bounds.
    void commit();

    QLineEdit* temperatureField() const { return temperatureField_; }
    QLineEdit* rpmField() const { return rpmField_; }
    QPushButton* saveButton() const { return saveButton_; }
    QPushButton* cancelButton() const { return cancelButton_; }
    QWidget* form() const { return form_; }
    QLabel* temperatureRangeLabel() const { return temperatureRange_; }
    QLabel* rpmRangeLabel() const { return rpmRange_; }

private:
    std::optional<AerivoPointEditingBounds> bounds() const;
    QLineEdit* makeField(double& value);
    static void takeTypedValue(const QLineEdit& field, double& value);

    std::function<const AerivoProfile&()> profile_;
    Uuid pointID_;
    AppLanguage language_;
    Commit onCommit_;
    double temperatureC_ = 0.0;
    double rpm_ = 0.0;

    QWidget* form_ = nullptr;
    QLineEdit* temperatureField_ = nullptr;
    QLineEdit* rpmField_ = nullptr;
    QLabel* temperatureRange_ = nullptr;
    QLabel* rpmRange_ = nullptr;
    QPushButton* saveButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

} // namespace aerivo
