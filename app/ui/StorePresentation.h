#pragma once

#include "app/model/AerivoStore.h"
#include "app/ui/MenuBarPanelState.h"

#include <functional>
#include <string>

namespace aerivo {

// The interface's one door to the store: everything the status item and the panel show is read
// here, and every control's action is bound here.
namespace StorePresentation {

// The status item's text: "Fan" without a fan, else the fan's share of its maximum speed
// ("42%"), else its speed ("2400 RPM").
std::string menuBarStatusText(const AerivoStore& store);

// The curve switch, in the panel and in the editor. While the helper is being checked or reset it
// says "Checking helper..."; while the check before curve mode runs it already shows the position
// the user chose and is held still. Otherwise it can be flipped even while the helper works (the
// request waits its turn on the helper queue).
struct CurveSwitchState {
    std::string title;
    bool isOn = false;
    bool isEnabled = false;
};
CurveSwitchState curveSwitchState(const AerivoStore& store);

// The install button is offered when the store offers it, except while the helper's health is
// being read (the read decides whether it is needed; at start it is not known yet).
bool shouldShowHelperInstallAction(const AerivoStore& store);

// The title of the button that starts `activity`: "Checking helper..." while that runs.
std::string helperActionTitle(const AerivoStore& store, HelperActivity activity,
                              std::string idleTitle);

// The panel's reading of the store, in the store's language.
MenuBarPanelState menuBarPanelState(const AerivoStore& store);

// The panel's actions on the store; opening the editor and quitting belong to the caller.
MenuBarPanelActions menuBarPanelActions(AerivoStore& store, std::function<void()> openEditor,
                                        std::function<void()> quit);

// Hands the fan back to the system before the process ends.
void resetFanControlBeforeTermination(AerivoStore& store);

} // namespace StorePresentation

} // namespace aerivo
