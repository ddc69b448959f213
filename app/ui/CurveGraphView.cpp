#include "app/ui/CurveGraphView.h"

#include "app/l10n/L10n.h"
#include "app/telemetry/ThermalDistribution.h"
#include "app/ui/CurveEditorStyle.h"
#include "app/ui/CurveGraphPainter.h"
#include "app/ui/CurvePointEditorSheet.h"

#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace aerivo {

namespace {

// A press this close to a point's centre grabs it: the circle and its stroke.
constexpr double pointGrabRadius = CurveGraphGeometry::pointDiameter / 2 + 2;

const AerivoPoint* findPoint(const std::vector<AerivoPoint>& points, const Uuid& id) {
    const auto found = std::find_if(points.begin(), points.end(),
                                    [&](const auto& point) { return point.id == id; });
    return found == points.end() ? nullptr : &*found;
}

} // namespace

CurveGraphView::CurveGraphView(CurveGraphBinding binding, QWidget* parent)
    : QWidget(parent), binding_(std::move(binding)) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(false);
    setMinimumHeight(minimumHeight);
    // The graph paints every pixel of its rectangle (on the card's colour), so nothing behind it
    // is painted first and the cached background is copied rather than blended.
    setAttribute(Qt::WA_OpaquePaintEvent, true);
    setAccessibleName(QString::fromStdString(L10n::text(L10nKey::curve, binding_.language())));
    dragWriteTimer_.setSingleShot(true);
    connect(&dragWriteTimer_, &QTimer::timeout, this, [this] {
        if (drag_ && drag_->moved) {
            writeDrag();
        }
    });
}

CurveGraphView::~CurveGraphView() = default;

QSize CurveGraphView::sizeHint() const {
    return QSize(776, 464) + QSize(static_cast<int>(CurveGraphGeometry::inset.left() +
                                                    CurveGraphGeometry::inset.right()),
                                   static_cast<int>(CurveGraphGeometry::inset.top() +
                                                    CurveGraphGeometry::inset.bottom()));
}

QSize CurveGraphView::minimumSizeHint() const {
    return QSize(320, minimumHeight);
}

void CurveGraphView::refresh() {
    // A change that came from elsewhere mid-drag shows at once, under the dragged point.
    if (drag_ && drag_->moved) {
        drag_->profile = draggedProfile();
    }
    // The focused point may have gone (a preset, a removed point).
    if (focusedItem_ && !findPoint(displayedProfile().points, focusedItem_->pointId)) {
        focusedItem_.reset();
    }
    if (pointEditor_) {
        pointEditor_->refresh();
    }
    update();
}

const AerivoProfile& CurveGraphView::displayedProfile() const {
    return drag_ && drag_->moved ? drag_->profile : binding_.profile();
}

AerivoProfile CurveGraphView::draggedProfile() const {
    AerivoProfile profile = binding_.profile();
    const CurveGraphValues values =
        CurveGraphGeometry::of(profile).values(drag_->pointer, plotRect());
    profile.updatePoint(drag_->pointId, values.temperatureC, values.rpm);
    return profile;
}

void CurveGraphView::writeDrag() {
    dragWriteTimer_.stop();
    drag_->profile = draggedProfile();
    drag_->written = true;
    lastDragWrite_.start();
    if (binding_.setProfile) {
        // The binding tells its observers, which may refresh this view (re-entering refresh()).
        const AerivoProfile written = drag_->profile;
        binding_.setProfile(written);
    }
}

void CurveGraphView::scheduleDragWrite() {
    if (!lastDragWrite_.isValid() || lastDragWrite_.elapsed() >= dragWriteIntervalMs) {
        writeDrag();
    } else if (!dragWriteTimer_.isActive()) {
        dragWriteTimer_.start(static_cast<int>(dragWriteIntervalMs - lastDragWrite_.elapsed()));
    }
}

void CurveGraphView::paint(QPainter& painter, QSizeF size) const {
    const AerivoProfile& profile = displayedProfile();
    const CurveGraphScene scene{profile,
                                binding_.snapshot(),
                                binding_.temperatureSamples(),
                                binding_.language(),
                                palette(),
                                hasFocus() ? focusedItem_ : std::nullopt};
    // The samples are binned on every paint, from the window the store gives now.
    ThermalDistribution distribution = ThermalDistribution::make(
        scene.samples, profile.temperatureAxis, CurveGraphGeometry::distributionBinCount);
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    BackgroundKey key{size.toSize(),
                      ratio,
                      profile.temperatureAxis,
                      profile.rpmAxis,
                      profile.isFanOffThresholdEnabled,
                      profile.fanOffThresholdC,
                      profile.safetyLimitC,
                      scene.language,
                      scene.palette.cacheKey(),
                      std::move(distribution.bins)};
    if (!background_ || !(background_->key == key)) {
        QImage image(size.toSize() * ratio, QImage::Format_RGB32);
        image.setDevicePixelRatio(ratio);
        image.fill(CurveEditorStyle::material(scene.palette));
        QPainter layers(&image);
        distribution.bins = key.bins;
        CurveGraphPainter::paintBackground(layers, size, scene, distribution);
        layers.end();
        background_ = Background{std::move(key), std::move(image)};
    }
    painter.drawImage(QPointF(0, 0), background_->image);
    CurveGraphPainter::paintForeground(painter, size, scene);
}

void CurveGraphView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    paint(painter, size());
}

QPointF CurveGraphView::pointPosition(const Uuid& pointId) const {
    const AerivoProfile& profile = displayedProfile();
    const AerivoPoint* point = findPoint(profile.points, pointId);
    return point ? CurveGraphGeometry::of(profile).position(*point, plotRect()) : QPointF();
}

QRectF CurveGraphView::valueButtonRect(const Uuid& pointId, ItemKind kind) const {
    const AerivoProfile& profile = displayedProfile();
    const AerivoPoint* point = findPoint(profile.points, pointId);
    if (!point || kind == ItemKind::point) {
        return QRectF();
    }
    return CurveGraphPainter::valueButtonRect(*point, kind, CurveGraphGeometry::of(profile),
                                              plotRect());
}

std::optional<CurveGraphView::Item> CurveGraphView::itemAt(QPointF location) const {
    const AerivoProfile& profile = displayedProfile();
    const CurveGraphGeometry geometry = CurveGraphGeometry::of(profile);
    const QRectF plot = plotRect();
    const std::vector<AerivoPoint> points = profile.sortedPoints();
    for (auto point = points.rbegin(); point != points.rend(); ++point) {
        const QPointF offset = geometry.position(*point, plot) - location;
        if (std::hypot(offset.x(), offset.y()) <= pointGrabRadius) {
            return Item{point->id, ItemKind::point};
        }
    }
    for (auto point = points.rbegin(); point != points.rend(); ++point) {
        for (const ItemKind kind : {ItemKind::rpmButton, ItemKind::temperatureButton}) {
            if (CurveGraphPainter::valueButtonRect(*point, kind, geometry, plot)
                    .contains(location)) {
                return Item{point->id, kind};
            }
        }
    }
    return std::nullopt;
}

QString CurveGraphView::tooltipAt(QPointF location) const {
    const std::optional<Item> item = itemAt(location);
    if (!item) {
        return QString();
    }
    if (item->kind != ItemKind::point) {
        return QString::fromStdString(L10n::text(L10nKey::pointEditorTitle, binding_.language()));
    }
    const AerivoPoint* point = findPoint(displayedProfile().points, item->pointId);
    return point ? CurveGraphPainter::pointTooltip(*point) : QString();
}

bool CurveGraphView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const QString text = tooltipAt(help->pos());
        if (text.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), text, this);
        }
        return true;
    }
    return QWidget::event(event);
}

void CurveGraphView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const std::optional<Item> item = itemAt(event->position());
    if (!item) {
        return;
    }
    focusedItem_ = item;
    setFocus(Qt::MouseFocusReason);
    if (item->kind == ItemKind::point) {
        const AerivoPoint* point = findPoint(binding_.profile().points, item->pointId);
        drag_ = Drag{item->pointId,
                     event->position(),
                     point ? point->temperatureC : 0.0,
                     point ? point->rpm : 0.0,
                     event->position(),
                     binding_.profile()};
    } else {
        buttonPress_ = ButtonPress{*item};
    }
    update();
}

void CurveGraphView::mouseMoveEvent(QMouseEvent* event) {
    if (!drag_) {
        return;
    }
    // The same threshold a drag needs anywhere else on the desktop.
    if (!drag_->moved && (event->position() - drag_->pressedAt).manhattanLength() <
                             QApplication::startDragDistance()) {
        return;
    }
    drag_->moved = true;
    drag_->pointer = event->position();
    drag_->profile = draggedProfile();
    update();
    scheduleDragWrite();
}

void CurveGraphView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    if (drag_) {
        if (drag_->moved) {
            drag_->pointer = event->position();
            writeDrag();
        }
        const bool moved = std::exchange(drag_, std::nullopt)->moved;
        lastDragWrite_.invalidate();
        if (moved && binding_.onEditingEnded) {
            binding_.onEditingEnded();
        }
        update();
        return;
    }
    if (buttonPress_) {
        const ButtonPress press = *std::exchange(buttonPress_, std::nullopt);
        // A button fires when released over itself.
        if (itemAt(event->position()) == press.item) {
            openPointEditor(press.item.pointId);
        }
    }
}

CurvePointEditorSheet* CurveGraphView::pointEditor() const {
    return pointEditor_.data();
}

void CurveGraphView::openPointEditor(const Uuid& pointId) {
    if (pointEditor_) {
        return;
    }
    editingPoint_ = pointId;
    auto* sheet =
        new CurvePointEditorSheet([this]() -> const AerivoProfile& { return binding_.profile(); },
                                  pointId, binding_.language(),
                                  [this](const Uuid& id, double temperatureC, double rpm) {
                                      if (binding_.onPointEdited) {
                                          binding_.onPointEdited(id, temperatureC, rpm);
                                      }
                                  },
                                  this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->setWindowModality(Qt::WindowModal);
    connect(sheet, &QDialog::finished, this, [this] {
        editingPoint_.reset();
        setFocus(Qt::OtherFocusReason);
        update();
    });
    pointEditor_ = sheet;
    sheet->open();
}

std::vector<CurveGraphView::Item> CurveGraphView::focusChain() const {
    std::vector<Item> chain;
    for (const AerivoPoint& point : displayedProfile().sortedPoints()) {
        chain.push_back(Item{point.id, ItemKind::point});
        chain.push_back(Item{point.id, ItemKind::temperatureButton});
        chain.push_back(Item{point.id, ItemKind::rpmButton});
    }
    return chain;
}

void CurveGraphView::focusInEvent(QFocusEvent* event) {
    const std::vector<Item> chain = focusChain();
    if (!chain.empty()) {
        if (event->reason() == Qt::TabFocusReason) {
            focusedItem_ = chain.front();
        } else if (event->reason() == Qt::BacktabFocusReason) {
            focusedItem_ = chain.back();
        } else if (!focusedItem_) {
            focusedItem_ = chain.front();
        }
    }
    update();
    QWidget::focusInEvent(event);
}

void CurveGraphView::focusOutEvent(QFocusEvent* event) {
    update();
    QWidget::focusOutEvent(event);
}

bool CurveGraphView::focusNextPrevChild(bool next) {
    const std::vector<Item> chain = focusChain();
    if (hasFocus() && focusedItem_ && !chain.empty()) {
        const auto current = std::find(chain.begin(), chain.end(), *focusedItem_);
        if (current != chain.end()) {
            const std::ptrdiff_t target = (current - chain.begin()) + (next ? 1 : -1);
            if (target >= 0 && target < std::ssize(chain)) {
                focusedItem_ = chain[static_cast<std::size_t>(target)];
                update();
                return true;
            }
        }
    }
    // Past either end of the chain the window's own Tab order takes over.
    return QWidget::focusNextPrevChild(next);
}

void CurveGraphView::moveFocusedPoint(double temperatureStep, double rpmStep) {
    const AerivoPoint* point = findPoint(displayedProfile().points, focusedItem_->pointId);
    if (!point || !binding_.onPointEdited) {
        return;
    }
    const Uuid id = point->id;
    binding_.onPointEdited(id, point->temperatureC + temperatureStep, point->rpm + rpmStep);
    refresh();
}

void CurveGraphView::keyPressEvent(QKeyEvent* event) {
    if (drag_ && event->key() == Qt::Key_Escape) {
        // Cancels the drag: the point goes back to where it was at the press (what else changed
        // meanwhile stays).
        const Drag cancelled = *std::exchange(drag_, std::nullopt);
        dragWriteTimer_.stop();
        lastDragWrite_.invalidate();
        if (cancelled.written && binding_.setProfile) {
            AerivoProfile restored = binding_.profile();
            restored.updatePoint(cancelled.pointId, cancelled.startTemperatureC,
                                 cancelled.startRPM);
            binding_.setProfile(restored);
        }
        update();
        return;
    }
    if (!focusedItem_ || drag_) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (focusedItem_->kind == ItemKind::point) {
        switch (event->key()) {
        case Qt::Key_Left:
            moveFocusedPoint(-keyTemperatureStepC, 0);
            return;
        case Qt::Key_Right:
            moveFocusedPoint(keyTemperatureStepC, 0);
            return;
        case Qt::Key_Up:
            moveFocusedPoint(0, keyRPMStep);
            return;
        case Qt::Key_Down:
            moveFocusedPoint(0, -keyRPMStep);
            return;
        default:
            break;
        }
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
               event->key() == Qt::Key_Space) {
        openPointEditor(focusedItem_->pointId);
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace aerivo
