// The main window, TForm1: every control of the tool and every handler.
//
// The window owns all its controls (Qt parent ownership) and holds each as a
// named member whose object name is the same. Handlers are member functions
// named after their control and event; the window frame, placement and the
// keyboard/focus handlers live in app/, the others beside their subsystem
// (store/form1_store.cpp, browse/form1_browse.cpp, pricing/form1_pricing.cpp,
// tickets/form1_tickets.cpp).
//
// Layout is in pixels at 96 dpi, each position relative to the parent; panels
// and the right-hand buttons follow resizes by their Align, everything else
// keeps its distance to its parent's top-left corner.
//
// GUI thread only. Handlers may throw precios::Error; Application reports it.
#pragma once

#include <QCheckBox>
#include <QHash>
#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <functional>

#include "controls.h"
#include "store_model.h"

class QKeyEvent;

class TForm1 : public QWidget {
    Q_OBJECT
  public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // The design size of the client area.
    static constexpr int kClientWidth = 999;
    static constexpr int kClientHeight = 561;

    // Handlers. Shell (app/).
    void FormShow();
    void FormKeyPress(QChar& key);
    void ebuscarExit();
    void DBGrid1Exit();
    void spcbaseClick(QLineEdit* box);
    void spcivaClick();
    void spvp1baseClick();
    void spvp1ivaClick();
    void sbeneficioClick();
    void sbnnetoClick();

    // Store database (store/form1_store.cpp).
    void runSelectionSequence(const QString& prefix);
    void Button2Click();

    // Item browsing (browse/form1_browse.cpp).
    void ebuscarChange();
    void DSARTICULOSStateChange();
    void BTGuardarClick();
    void BTCancelarClick();

    // Pricing (pricing/form1_pricing.cpp).
    void DSARTICULOSDataChange();
    void spcbasesdExit();
    void spcbaseExit();
    void spcivaExit();
    void sbeneficioExit();
    void sbnnetoExit();
    void spvp1baseExit();
    void spvp1ivaExit();
    void Button1Click();

    // Ticket status (tickets/form1_tickets.cpp).
    void Button3Click();

    // Centres the window on the whole desktop (all monitors); done once,
    // right after FormShow.
    void placeOnDesktop();

    // Moves the focus to the next control of the tab order that takes it,
    // wrapping from the last to the first; stays put when none does.
    void selectNextControl();

    // The named control (one with a tab-order index) that is or contains
    // widget; nullptr outside this window.
    QWidget* controlOf(QObject* widget) const;

    // The store database: the connection, the datasets and the data sources.
    // Declared before the controls' pointers; the controls themselves are Qt
    // children, destroyed after it (bound controls forget their sources).
    store::StoreModel model;

    // Panels.
    precios::Panel* Panel1 = nullptr;
    precios::Panel* Panel2 = nullptr;
    precios::Panel* Panel3 = nullptr;
    precios::Panel* Panel4 = nullptr;
    precios::Panel* Panel5 = nullptr;

    // Item list (Panel1).
    precios::DbGrid* DBGrid1 = nullptr;

    // Search and ticket strip (Panel5).
    QLabel* Label1 = nullptr;
    precios::UpperCaseEdit* ebuscar = nullptr;
    QLabel* Label23 = nullptr;
    QLabel* Label25 = nullptr;
    QLabel* Label24 = nullptr;
    precios::DatePicker* dfecha = nullptr;
    precios::DatePicker* hfecha = nullptr;
    QCheckBox* Cfacturados = nullptr;
    QCheckBox* cfacturar = nullptr;
    precios::WrapButton* Button3 = nullptr;

    // Item record (Panel3).
    QLabel* Label5 = nullptr;
    precios::DbEdit* DBEdit4 = nullptr;
    QLabel* Label6 = nullptr;
    precios::DbEdit* DBEdit5 = nullptr;
    QLabel* Label8 = nullptr;
    precios::DbEdit* DBEdit7 = nullptr;
    QLabel* Label10 = nullptr;
    precios::DbLookupCombo* DBLookupComboBox1 = nullptr;
    QLabel* Label4 = nullptr;
    precios::DbLookupCombo* DBLookupComboBox2 = nullptr;

    // Current prices (Panel3).
    QLabel* Label7 = nullptr;
    QLabel* Label13 = nullptr;
    QLabel* Label14 = nullptr;
    QLabel* Label15 = nullptr;
    QLabel* Label9 = nullptr;
    precios::DbEdit* DBEdit8 = nullptr;
    precios::UpperCaseEdit* pciva = nullptr;
    QLabel* Label2 = nullptr;
    precios::DbEdit* DBEdit2 = nullptr;
    precios::UpperCaseEdit* pvp1iva = nullptr;
    precios::UpperCaseEdit* bnpvp1 = nullptr;
    precios::UpperCaseEdit* bnneto = nullptr;

    // Simulation (Panel3).
    QLabel* Label21 = nullptr;
    QLabel* Label11 = nullptr;
    QLabel* Label18 = nullptr;
    QLabel* Label3 = nullptr;
    QLabel* Label16 = nullptr;
    QLabel* Label17 = nullptr;
    QLabel* Label20 = nullptr;
    precios::UpperCaseEdit* Edit1 = nullptr;
    QLabel* Label22 = nullptr;
    precios::UpperCaseEdit* spcbasesd = nullptr;
    precios::UpperCaseEdit* spcbase = nullptr;
    precios::UpperCaseEdit* spciva = nullptr;
    QLabel* Label19 = nullptr;
    precios::UpperCaseEdit* Edit2 = nullptr;
    QLabel* Label12 = nullptr;
    precios::UpperCaseEdit* spvp1base = nullptr;
    precios::UpperCaseEdit* spvp1iva = nullptr;
    precios::UpperCaseEdit* sbeneficio = nullptr;
    precios::UpperCaseEdit* sbnneto = nullptr;
    QPushButton* Button1 = nullptr;

    // Button bar (Panel4).
    QPushButton* BTGuardar = nullptr;
    QPushButton* BTCancelar = nullptr;
    precios::WrapButton* Button2 = nullptr;

  protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // The window's view of every event: key preview (FormKeyPress), leave
    // (OnExit) and click (OnClick) handlers of its controls.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildPanels();
    void buildSearchStrip();
    void buildItemRecord();
    void buildPriceBoxes();
    void buildButtonBar();
    void connectHandlers();
    void bindBrowse();  // browse/form1_browse.cpp
    bool isNumericBoundBox(const QWidget* control) const;
    bool previewKey(QWidget* receiver, QKeyEvent* key);
    bool pressSuperseded(QWidget* pressed) const;

    bool shown_ = false;
    QHash<QWidget*, std::function<void()>> exitHandlers_;
    QHash<QWidget*, std::function<void()>> clickHandlers_;
    QPointer<QWidget> holder_;  // the control that was given the focus last
    bool redelivering_ = false;
};
