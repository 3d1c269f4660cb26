// The settings dialog's layout and behaviour, drawn with Dear ImGui in a modal window of its own:
// labels on the left, fields on the right, the button centred below.
#include "app/frm_param.h"

#include "platform/os/dialog_window.h"

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

void field(const char* id, TextBox& box) {
    ImGui::SetNextItemWidth(kFieldWidth);
    ImGui::InputText(id, &box.Text);
}

bool key_pressed(ImGuiKey key) {
    const int index = ImGui::GetKeyIndex(key);
    return index >= 0 && ImGui::IsKeyPressed(index, false);
}

} // namespace

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

    // Return confirms the dialog from anywhere in it, as a default button would.
    return clicked || key_pressed(ImGuiKey_Enter) || key_pressed(ImGuiKey_KeyPadEnter);
}

frmParam::ShowResult frmParam::Show(std::string* error) {
    focus_first_field_ = true;
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
