/* Tarnwell's skin: quiet greys with one blue accent.
   It only paints: positions, sizes and fonts stay those of the window, so the
   layout and the captions read the same with or without it. The engine's
   options arrive as properties of the window: skinControls (the controls take
   the skin, not only the window), skinFlat (flat buttons), skinHover (buttons
   light up under the mouse). */

#Form1 {
    background-color: #eef1f5;
}

#Form1[skinControls="true"] QPushButton {
    color: #1f2933;
    background-color: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                      stop: 0 #ffffff, stop: 1 #e3e8ef);
    border: 1px solid #a9b4c4;
    border-radius: 4px;
    padding: 0px 2px;
}

#Form1[skinControls="true"][skinFlat="true"] QPushButton {
    background-color: #f8fafc;
}

#Form1[skinControls="true"][skinHover="true"] QPushButton:hover {
    background-color: #dde8f7;
    border-color: #4a78b8;
}

#Form1[skinControls="true"] QPushButton:pressed {
    background-color: #c6d7ee;
    border-color: #3b6399;
}

#Form1[skinControls="true"] QPushButton:focus {
    border-color: #4a78b8;
}

#Form1[skinControls="true"] QPushButton:disabled {
    color: #8a94a3;
}

#Form1[skinControls="true"] QTableView {
    background-color: #ffffff;
    color: #1f2933;
    border: 1px solid #a9b4c4;
    border-radius: 3px;
    selection-background-color: #4a78b8;
    selection-color: #ffffff;
}

#Form1[skinControls="true"] QHeaderView {
    background-color: #e3e8ef;
}

#Form1[skinControls="true"] QHeaderView::section {
    background-color: #e3e8ef;
    color: #1f2933;
    border: none;
    border-bottom: 1px solid #a9b4c4;
    border-right: 1px solid #cbd3de;
    padding: 3px 6px;
}

#Form1[skinControls="true"] QProgressBar {
    background-color: #ffffff;
    color: #1f2933;
    border: 1px solid #a9b4c4;
    border-radius: 4px;
    text-align: center;
}

#Form1[skinControls="true"] QProgressBar::chunk {
    background-color: #9dbce6;
    border-radius: 3px;
}
