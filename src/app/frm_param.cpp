// The settings dialog's layout and behaviour, drawn with Dear ImGui in a modal window of its own:
// labels on the left, fields on the right, the button centred below.
#include "app/frm_param.h"

#include "app/field_checks.h"
#include "engine/number_text.h"
#include "fault/fault.h"
#include "platform/os/dialog_window.h"
#include "traffic/tables.h"

#include <cstdint>
#include <imgui.h>
#include <imgui_stdlib.h>
#include <string>

namespace kl {
namespace {

constexpr float kMargin = 14.0f;
constexpr float kFieldX = 170.0f; // where the fields start, right of the widest label
constexpr float kFieldWidth = 66.0f;
constexpr float kButtonWidth = 110.0f;

void label_cell(const Label& label) {
    ImGui::SetCursorPosX(kMargin);
    ImGui::AlignTextToFramePadding();
    ImGui::TextUnformatted(label.Caption.c_str());
}

const ImVec4 kWrong{0.8f, 0.0f, 0.0f, 1.0f};

bool key_pressed(ImGuiKey key) {
    const int index = ImGui::GetKeyIndex(key);
    return index >= 0 && ImGui::IsKeyPressed(index, false);
}

} // namespace

void frmParam::field(const char* id, TextBox& box) {
    const bool wrong = problem_.field == &box;
    if (wrong) {
        ImGui::PushStyleColor(ImGuiCol_Border, kWrong);
        ImGui::PushStyleColor(ImGuiCol_FrameBg, ImVec4(1.0f, 0.85f, 0.85f, 1.0f));
        ImGui::PushStyleVar(ImGuiStyleVar_FrameBorderSize, 2.0f);
    }
    // The keyboard goes to the wrong field, its text selected, so that typing replaces it.
    if (wrong && focus_wrong_field_) {
        ImGui::SetKeyboardFocusHere();
        focus_wrong_field_ = false;
    }
    // A field that kept the keyboard through Return is not selected by the focus request; the
    // selection is made as soon as the field is active.
    const auto select_all = [](ImGuiInputTextCallbackData* data) {
        data->SelectAll();
        *static_cast<bool*>(data->UserData) = false;
        return 0;
    };
    const bool select = wrong && select_wrong_field_;
    ImGui::SetNextItemWidth(kFieldWidth);
    ImGui::InputText(id, &box.Text, select ? ImGuiInputTextFlags_CallbackAlways : 0,
                     select ? +select_all : nullptr, &select_wrong_field_);
    if (wrong) {
        ImGui::PopStyleVar();
        ImGui::PopStyleColor(2);
    }
}

frmParam::FieldProblem frmParam::CheckFields() const {
    // The smallest screen the overlay and the dialog are laid out for.
    if (!IsWholeNumberIn(txtResH.Text, 640, INT32_MAX))
        return {&txtResH, "Width: a whole number of at least 640"};
    if (!IsWholeNumberIn(txtResV.Text, 480, INT32_MAX))
        return {&txtResV, "Height: a whole number of at least 480"};
    if (!AspectRatioValue(txtaspect_ratio.Text))
        return {&txtaspect_ratio, "Aspect ratio: a number above 0, as 1,333 or 1.333"};
    if (!IsWholeNumberIn(nbr_sim.Text, 0, MaxRoadCount))
        return {&nbr_sim, "Nombre de Sim: a whole number from 0 to " + std::to_string(MaxRoadCount)};
    return {};
}

std::int16_t frmParam::RoadCount() const {
    try {
        return number_text_to_int16(nbr_sim.Text);
    } catch (const Fault&) {
        return 0;
    }
}

void frmParam::Load(const SettingsRecord& settings) {
    txtResH.Text = std::to_string(settings.ResH);
    txtResV.Text = std::to_string(settings.ResV);
    std::string aspect = settings.AspectRatio.str();
    aspect.erase(aspect.find_last_not_of(' ') + 1);
    txtaspect_ratio.Text = aspect;
}

bool frmParam::DrawControls() {
    ImGui::SetCursorPosY(kMargin);

    label_cell(Resolution);
    ImGui::SameLine(kFieldX);
    // A dialog opens with the keyboard in its first field, its text selected so that typing replaces it.
    if (focus_first_field_) {
        ImGui::SetKeyboardFocusHere();
        focus_first_field_ = false;
    }
    field("##txtResH", txtResH);
    ImGui::SameLine();
    field("##txtResV", txtResV);

    label_cell(Label1);
    ImGui::SameLine(kFieldX);
    field("##txtaspect_ratio", txtaspect_ratio);

    label_cell(Label4);
    ImGui::SameLine(kFieldX);
    field("##nbr_sim", nbr_sim);

    label_cell(Label3);

    ImGui::Dummy(ImVec2(0, 4));
    ImGui::SetCursorPosX((ImGui::GetWindowWidth() - kButtonWidth) / 2);
    const bool clicked = ImGui::Button((cmdOk.Caption + "##cmdOk").c_str(), ImVec2(kButtonWidth, 0));

    if (problem_.field != nullptr) {
        ImGui::SetCursorPosX(kMargin);
        ImGui::PushStyleColor(ImGuiCol_Text, kWrong);
        ImGui::TextUnformatted(problem_.expected.c_str());
        ImGui::PopStyleColor();
    }

    // Return confirms the dialog from anywhere in it, as a default button would.
    if (!clicked && !key_pressed(ImGuiKey_Enter) && !key_pressed(ImGuiKey_KeyPadEnter)) return false;
    problem_ = CheckFields();
    focus_wrong_field_ = select_wrong_field_ = problem_.field != nullptr;
    return problem_.field == nullptr;
}

frmParam::ShowResult frmParam::Show(std::string* error) {
    focus_first_field_ = true;
    problem_ = {};
    const platform::DialogOutcome outcome =
        platform::RunModalDialog({Caption, kWidth, kHeight}, [this] { return DrawControls(); });
    switch (outcome.end) {
    case platform::DialogEnd::Accepted:
        return ShowResult::Validated;
    case platform::DialogEnd::Closed:
        return ShowResult::Closed;
    case platform::DialogEnd::Failed:
        break;
    }
    if (error != nullptr) *error = outcome.error;
    return ShowResult::Failed;
}

} // namespace kl
