#include "audio/further_functions.h"

namespace {

FurtherFunctions g_functions;
bool g_lookedUp = false;

template <typename Function> void LookUp(Function* slot, const char* library, const char* name) {
    *slot = reinterpret_cast<Function>(FindLibraryFunction(library, name));
}

} // namespace

const FurtherFunctions& Further() {
    if (!g_lookedUp) {
        g_lookedUp = true;
        LookUp(&g_functions.channelPause, "bass.dll", "BASS_ChannelPause");
        LookUp(&g_functions.channelIsActive, "bass.dll", "BASS_ChannelIsActive");
        LookUp(&g_functions.channelSetAttribute, "bass.dll", "BASS_ChannelSetAttribute");
        LookUp(&g_functions.channelGetAttribute, "bass.dll", "BASS_ChannelGetAttribute");
        LookUp(&g_functions.channelSlideAttribute, "bass.dll", "BASS_ChannelSlideAttribute");
        LookUp(&g_functions.channelIsSliding, "bass.dll", "BASS_ChannelIsSliding");
        LookUp(&g_functions.channelGetPosition, "bass.dll", "BASS_ChannelGetPosition");
        LookUp(&g_functions.setConfig, "bass.dll", "BASS_SetConfig");
        LookUp(&g_functions.getDeviceInfo, "bass.dll", "BASS_GetDeviceInfo");
        LookUp(&g_functions.setDevice, "bass.dll", "BASS_SetDevice");
        LookUp(&g_functions.channelSetDevice, "bass.dll", "BASS_ChannelSetDevice");
        LookUp(&g_functions.getDevice, "bass.dll", "BASS_GetDevice");
        LookUp(&g_functions.getInfo, "bass.dll", "BASS_GetInfo");
        LookUp(&g_functions.getConfig, "bass.dll", "BASS_GetConfig");
        LookUp(&g_functions.midiStreamGetMarks, "bassmidi.dll", "BASS_MIDI_StreamGetMarks");
        LookUp(&g_functions.vstResume, "bass_vst.dll", "BASS_VST_Resume");
        LookUp(&g_functions.vstGetChunk, "bass_vst.dll", "BASS_VST_GetChunk");
        LookUp(&g_functions.vstSetChunk, "bass_vst.dll", "BASS_VST_SetChunk");
        LookUp(&g_functions.vstGetProgramCount, "bass_vst.dll", "BASS_VST_GetProgramCount");
        LookUp(&g_functions.vstGetProgram, "bass_vst.dll", "BASS_VST_GetProgram");
        LookUp(&g_functions.vstSetProgram, "bass_vst.dll", "BASS_VST_SetProgram");
        LookUp(&g_functions.vstGetProgramName, "bass_vst.dll", "BASS_VST_GetProgramName");
        LookUp(&g_functions.vstGetParamCount, "bass_vst.dll", "BASS_VST_GetParamCount");
        LookUp(&g_functions.vstGetParam, "bass_vst.dll", "BASS_VST_GetParam");
        LookUp(&g_functions.vstSetParam, "bass_vst.dll", "BASS_VST_SetParam");
        LookUp(&g_functions.vstGetParamInfo, "bass_vst.dll", "BASS_VST_GetParamInfo");
        LookUp(&g_functions.vstProcessEventRaw, "bass_vst.dll", "BASS_VST_ProcessEventRaw");
        LookUp(&g_functions.vstSetCallback, "bass_vst.dll", "BASS_VST_SetCallback");
    }
    return g_functions;
}

void ForgetFurtherFunctions() {
    g_lookedUp = false;
}
