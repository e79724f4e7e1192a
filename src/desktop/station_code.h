#pragma once
// The station code a report needs: asked for once when the frame's site has none.

class FrameSession;
class QWidget;

// Asks for the site's station code when the frame has none and keeps the answer with the frame and the
// places at its site (so it is not asked again); true when the frame has a code afterwards.
bool EnsureStationCode(FrameSession& session, QWidget* parent);
