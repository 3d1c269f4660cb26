// The settings dialog: screen resolution, aspect ratio and number of road strips, confirmed with
// "Valider". Its texts stay readable after it is hidden; the scene reads the road count from it.
#pragma once

#include "engine/settings_record.h"

#include <string>

namespace kl {

// The controls keep only what the program reads or shows of them.
struct TextBox {
    std::string Text;
};
struct Label {
    std::string Caption;
};
struct CommandButton {
    std::string Caption;
};

class frmParam {
  public:
    enum class ShowResult {
        Validated, // "Valider" (or Return) hid the dialog
        Closed,    // the user closed the window instead: the program should end without writing anything
        Failed,    // the dialog could not be shown at all
    };

    // Captions and texts as designed; UTF-8.
    std::string Caption = "Paramétrage";
    Label Resolution{"Resolution écran"};
    TextBox txtResH{"1024"};
    TextBox txtResV{"768"};
    Label Label1{"Aspect Ratio :"};
    TextBox txtaspect_ratio{"0"};
    Label Label4{"Nombre de Sim"};
    TextBox nbr_sim{"1"};
    Label Label3{"Resolution Grille V :"};
    CommandButton cmdOk{"Valider"};

    // The road count the scene is run with: the "Nombre de Sim" text as a 16-bit whole number, rounded
    // as the number texts are; 0 for a text that is no number or does not fit.
    std::int16_t RoadCount() const;

    // Fills the fields from the settings: the two resolutions as decimal text and the aspect-ratio
    // text (up to its first zero character, without the blanks that pad it). The road count keeps
    // its text.
    void Load(const SettingsRecord& settings);

    // Shows the dialog modally until "Valider" hides it or the user closes it. On Failed, error
    // (when given) receives the reason.
    ShowResult Show(std::string* error = nullptr);

    // One frame of the dialog's contents, drawn with Dear ImGui into the current window; true when
    // "Valider" was clicked or Return pressed with every field right. A wrong field is marked and a
    // line under the form says what it expects. Used by Show, and by tests with a bare ImGui context.
    bool DrawControls();

    // The first wrong field and what it expects; an empty text when all are right.
    struct FieldProblem {
        const TextBox* field = nullptr;
        std::string expected;
    };
    FieldProblem CheckFields() const;

    // Size of the dialog's client area in pixels, fitted to the controls and the line under them.
    static constexpr int kWidth = 330;
    static constexpr int kHeight = 184;

  private:
    void field(const char* id, TextBox& box);

    bool focus_first_field_ = true;
    bool focus_wrong_field_ = false;
    bool select_wrong_field_ = false;
    FieldProblem problem_; // shown until the next confirmation
};

} // namespace kl
