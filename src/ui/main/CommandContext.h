#pragma once

#include "card/CardPlace.h"

#include <QString>

class CardMenus;
class CardSession;
class CardFeedback;
class CardView;
class DetailPanel;
class LinkCommandRunner;
class Prompter;
class QWidget;

// What the commands of the menus, buttons, views and tools ask of the main
// window; the cards themselves they find in the CardSession.
class CommandContext {
  public:
    virtual ~CommandContext() = default;

    virtual CardSession& Session() = 0;
    // Every piece of link work runs through it.
    virtual LinkCommandRunner& Runner() = 0;
    virtual Prompter& Prompts() = 0;
    // Messages, progress and repaints as the card engine sees them.
    virtual CardFeedback& Feedback() = 0;

    virtual CardView& ViewOf(CardPlace view) = 0;
    virtual CardMenus& Menus() = 0;
    virtual DetailPanel& Detail() = 0;
    // The parent and centre of the commands' windows.
    virtual QWidget& Window() = 0;
    // Moves `window` so that it stands centred over the main window.
    virtual void CentreOver(QWidget* window) const = 0;

    // Reads a view's card again and lists it (the slot's checks first).
    virtual void Refresh(CardPlace view) = 0;
    virtual void ClearSelection() = 0;
    virtual void ShowSelectedSaver(CardPlace view) = 0;
    virtual void SetStatus(const QString& text) = 0;
    // Lets the window paint now.
    virtual void RepaintNow() = 0;
};
