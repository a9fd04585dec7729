"""Drives a running Qt program the way assistive technology does: over the accessibility bus,
finding every widget by its accessible name, then using its action, or clicking and typing where
the bus says it is on screen, as a user would."""
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi  # noqa: E402

from harness import Failure, shows_exactly, wait_until  # noqa: E402

SHOWING = Atspi.StateType.SHOWING
ENABLED = Atspi.StateType.ENABLED
CHECKED = Atspi.StateType.CHECKED
FOCUSED = Atspi.StateType.FOCUSED
SPACE, RETURN, BACKSPACE = 0x20, 0xFF0D, 0xFF08  # X keysyms
# Set by the run: gives the keyboard focus to the window at a screen point (the display has no
# window manager to do it on a click).
focus_window_at = None
# Roles of a window that interrupts the user with a message (every Qt message box is an alert); a
# plain dialog role is left out, since an ordinary window may be built on a dialog.
ALERT_ROLES = {Atspi.Role.ALERT, Atspi.Role.NOTIFICATION}


def _safe(call, default=None):
    try:
        return call()
    except Exception:  # a widget that went away while it was read
        return default


def name_of(node):
    return _safe(node.get_name, "") or ""


def role_of(node):
    return _safe(node.get_role, None)


def has_state(node, state):
    states = _safe(node.get_state_set)
    return bool(states and states.contains(state))


def children(node):
    count = _safe(node.get_child_count, 0) or 0
    return [c for c in (_safe(lambda i=i: node.get_child_at_index(i)) for i in range(count)) if c is not None]


def is_editable(node):
    return "EditableText" in (_safe(node.get_interfaces, []) or [])


def walk(node):
    stack = [node]
    while stack:
        current = stack.pop()
        yield current
        stack.extend(reversed(children(current)))


class App:
    """One program on the accessibility bus, found by its application name."""

    def __init__(self, application_name, timeout=30, not_process=None):
        """Waits for the program; `not_process` skips a copy that is on its way out."""
        self.application_name = application_name
        self.not_process = not_process
        self.root = wait_until(f"{application_name} on the accessibility bus", self._find_root, timeout, 0.1)

    def _find_root(self):
        desktop = Atspi.get_desktop(0)
        for app in children(desktop):
            if name_of(app) == self.application_name and _safe(app.get_process_id) not in (None, self.not_process):
                return app
        return None

    def process_id(self):
        return self.root.get_process_id()

    def windows(self):
        return [w for w in children(self.root) if has_state(w, SHOWING)]

    def wait_window(self, title, timeout=20):
        """The program's window titled `title` once it shows (a button may carry the same name)."""
        return wait_until(f'a window "{title}" of {self.application_name}',
                          lambda: next((w for w in self.windows() if name_of(w) == title), None), timeout, 0.1)

    def wait_window_gone(self, title, timeout=10):
        wait_until(f'the window "{title}" of {self.application_name} to close',
                   lambda: not any(name_of(w) == title for w in self.windows()), timeout, 0.1)

    def find_all(self, name, role=None, within=None, showing=True):
        found = []
        for node in walk(within or self.root):
            if name_of(node) != name:
                continue
            if role is not None and role_of(node) != role:
                continue
            if showing and not has_state(node, SHOWING):
                continue
            found.append(node)
        return found

    def find(self, name, role=None, within=None):
        found = self.find_all(name, role, within)
        return found[0] if found else None

    def wait_for(self, name, role=None, timeout=20, within=None):
        return wait_until(f'"{name}" in {self.application_name}', lambda: self.find(name, role, within), timeout, 0.1)

    def wait_gone(self, name, role=None, timeout=20):
        wait_until(f'"{name}" to close in {self.application_name}', lambda: not self.find(name, role), timeout, 0.1)

    def require(self, name, role=None, why=""):
        node = self.find(name, role)
        if node is None:
            raise Failure(f'{self.application_name} shows no widget named "{name}"' + (f" ({why})" if why else ""))
        return node

    def texts(self, within=None):
        """Every text the program (or the window `within`) shows to assistive technology: names, and
        the descriptions that carry a labelled widget's state ("Screensaver status": "Screensaver
        active")."""
        shown = []
        for node in walk(within or self.root):
            if has_state(node, SHOWING):
                shown.extend(t for t in (name_of(node), _safe(node.get_description, "")) if t)
        return shown

    def shows_text(self, text):
        """Whether `text` is shown exactly, alone or after a symbol that stands for its icon."""
        return any(shows_exactly(shown, text) for shown in self.texts())

    def wait_text(self, text, timeout=20):
        try:
            wait_until(f'"{text}" in {self.application_name}', lambda: self.shows_text(text), timeout, 0.1)
        except Failure as failure:
            shown = [t for t in self.texts() if len(t) < 200]
            raise Failure(f"{failure}; it shows {shown}") from None

    def error_dialogs(self):
        """Texts of every message box the program shows right now."""
        found = []
        for window in self.windows():
            for node in walk(window):
                if role_of(node) in ALERT_ROLES and has_state(node, SHOWING):
                    found.append(" / ".join(t for t in (name_of(n) for n in walk(node)) if t))
        return found

    def assert_no_error_dialog(self, step):
        dialogs = self.error_dialogs()
        if dialogs:
            raise Failure(f"{self.application_name} shows a dialog after {step}: {dialogs}")

    # Actions -----------------------------------------------------------------------------------

    def press(self, node):
        """Presses a button, toggles a check box or picks an item: its first action of those."""
        if not has_state(node, ENABLED):
            raise Failure(f'"{name_of(node)}" is disabled')
        names = [_safe(lambda i=i: node.get_action_name(i), "") for i in range(_safe(node.get_n_actions, 0) or 0)]
        for wanted in ("press", "click", "toggle", "activate", "showmenu"):
            for index, action in enumerate(names):
                if action.lower().replace(" ", "") == wanted:
                    node.do_action(index)
                    return
        raise Failure(f'"{name_of(node)}" has no press action (it has {names})')

    def press_named(self, name, role=None, timeout=20):
        node = self.wait_for(name, role, timeout)
        wait_until(f'"{name}" to be enabled', lambda: has_state(node, ENABLED), timeout, 0.1)
        self.press(node)
        return node

    def type_into(self, name, text):
        """Clicks into the editable field named `name`, erases what it holds with Backspace from its
        end and types `text`, all as key events: a program hears typing differently from text set
        through the bus (a line edit reports only typed text as the user's edit)."""
        node = wait_until(f'an editable field named "{name}"', lambda: self.editable(name), 20, 0.1)
        self.click(node)
        wait_until(f'"{name}" to have the focus', lambda: has_state(node, FOCUSED), 5, 0.05)
        held = _safe(node.get_character_count, 0) or 0
        if held:
            if not node.set_caret_offset(held):
                raise Failure(f'the caret cannot move to the end of "{name}"')
            for _ in range(held):
                Atspi.generate_keyboard_event(BACKSPACE, None, Atspi.KeySynthType.SYM)
            wait_until(f'"{name}" to be erased', lambda: self.text_of(node) == "", 10, 0.05)
        Atspi.generate_keyboard_event(0, text, Atspi.KeySynthType.STRING)
        wait_until(f'"{name}" to hold the typed text', lambda: self.text_of(node) == text, 10, 0.05)
        return node

    def editable(self, name):
        """The editable text field named `name` (its label carries the same name)."""
        for node in self.find_all(name):
            if is_editable(node):
                return node
        return None

    def select(self, name):
        """Selects the checkable tile or card named `name` with the keyboard: focus, then Space. (Its
        bus action would flip the check mark without the click that the program listens for.)"""
        node = self.wait_for(name)
        if has_state(node, CHECKED):
            return node
        if not node.grab_focus():
            raise Failure(f'"{name}" cannot take the focus')
        wait_until(f'"{name}" to have the focus', lambda: has_state(node, FOCUSED), 5, 0.05)
        Atspi.generate_keyboard_event(SPACE, None, Atspi.KeySynthType.SYM)
        wait_until(f'"{name}" to be selected', lambda: has_state(node, CHECKED), 5, 0.05)
        return node

    @staticmethod
    def click(node):
        """A left click in the middle of the widget, where a user would click it; its window gets
        the keyboard focus first, as a window manager gives it to the window clicked."""
        box = node.get_extents(Atspi.CoordType.SCREEN)
        if box.width <= 0 or box.height <= 0:
            raise Failure(f'"{name_of(node)}" has no place on the screen')
        x, y = box.x + box.width // 2, box.y + box.height // 2
        if focus_window_at is not None:
            focus_window_at(x, y)
        Atspi.generate_mouse_event(x, y, "b1c")

    @staticmethod
    def text_of(node):
        count = _safe(node.get_character_count, 0) or 0
        return _safe(lambda: node.get_text(0, count), "")

    def labelled(self, label, role, timeout=20):
        """The widget of `role` that the label named `label` belongs to (its buddy): a combo box's own
        name is its current choice, so a user finds it by the label beside it."""
        def lookup():
            for node in self.find_all(label):
                for relation in _safe(node.get_relation_set, []) or []:
                    if relation.get_relation_type() == Atspi.RelationType.LABEL_FOR:
                        for i in range(relation.get_n_targets()):
                            target = relation.get_target(i)
                            if role_of(target) == role:
                                return target
                parent = _safe(node.get_parent)
                for sibling in children(parent) if parent is not None else []:
                    if role_of(sibling) == role and has_state(sibling, SHOWING):
                        return sibling
            return None
        return wait_until(f'the {role.value_nick} labelled "{label}"', lookup, timeout, 0.1)

    def choose(self, label, item):
        """Picks `item` in the combo box labelled `label`: a click opens its list, the item's name is
        typed to find it and Return takes it. The box's accessible name then reads `item`."""
        combo = self.labelled(label, Atspi.Role.COMBO_BOX)
        if name_of(combo) == item:
            return combo
        if not any(role_of(n) == Atspi.Role.LIST_ITEM and name_of(n) == item for n in walk(combo)):
            raise Failure(f'the "{label}" choice has no item "{item}"')
        self.click(combo)
        wait_until(f'the "{label}" list to open',
                   lambda: any(role_of(n) == Atspi.Role.LIST and has_state(n, SHOWING) for n in walk(combo)), 5, 0.05)
        Atspi.generate_keyboard_event(0, item, Atspi.KeySynthType.STRING)
        Atspi.generate_keyboard_event(RETURN, None, Atspi.KeySynthType.SYM)
        wait_until(f'"{label}" to read "{item}"', lambda: name_of(combo) == item, 5, 0.05)
        return combo


def settle(seconds=0.2):
    """Lets a program repaint after an action before the screen is shot (not a wait for an event:
    the accessibility bus says a widget changed, not that its pixels reached the display)."""
    time.sleep(seconds)
