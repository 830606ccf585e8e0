#pragma once

#include "card/CardPlace.h"

#include <QString>

class CardView;
class CardMenus;
class DetailPanel;
class PagePanel;
class QWidget;

// The main window as the presenter drives it: the status line, the layout
// for the device, the card views with the selection display, and the page
// panel. The window lays the widgets out; what they show, and when, is the
// presenter's.
class CardDisplay {
  public:
    virtual ~CardDisplay() = default;

    // --- Status ----------------------------------------------------------------
    virtual void SetStatus(const QString& text) = 0;
    // The line under the status that says what to try while no box answers.
    virtual void ShowNoDeviceHint(bool shown) = 0;
    // The maker's name and the address above the status line, put back.
    virtual void ShowMaker() = 0;

    // --- Layout ----------------------------------------------------------------
    // Both slot columns; animated when fromDetection, or when slot 2 was
    // narrowed away.
    virtual void ShowTwoSlotLayout(bool fromDetection) = 0;
    // Slot 1 alone, over the width of both.
    virtual void ShowPagedLayout() = 0;
    // Paints what is pending now, during link work.
    virtual void RepaintNow() = 0;

    // --- Listing ---------------------------------------------------------------
    virtual CardView& ViewOf(CardPlace view) = 0;
    virtual DetailPanel& Detail() = 0;
    virtual CardMenus& Menus() = 0;

    // --- Page panel --------------------------------------------------------------
    virtual PagePanel& Pages() = 0;

    // --- Other windows -----------------------------------------------------------
    // The parent and centre of the commands' windows.
    virtual QWidget& Window() = 0;
    virtual void CentreOver(QWidget* window) const = 0;
    // Whether the "Activate" box of the settings dialog is checked.
    virtual bool ActivateChecked() const = 0;
};
