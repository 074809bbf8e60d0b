#!/usr/bin/env python3
"""Writes the program's SVG icons from a few shared shapes, so the set stays consistent.

Run it after changing a shape, then render-pngs.sh for the program icon's PNG sizes.
All small icons are drawn on a 16 x 16 grid with 1-pixel strokes on half-pixel
coordinates, so they are sharp at 16 pixels and scale cleanly."""
import pathlib

HERE = pathlib.Path(__file__).resolve().parent

OUTLINE = "#4f5b66"
YELLOW = dict(light="#fbe38a", mid="#f5c211", dark="#e5a50a", top="#fdeeb0", stroke="#9c6500")
GREEN = dict(fill="#33a852", stroke="#1d7a37")
RED = dict(fill="#e01b24", stroke="#a51d2d")
BLUE = dict(fill="#3584e4", stroke="#1a5fb4", light="#cfe2fb")


def svg(body, defs="", size=16):
    return (f'<svg xmlns="http://www.w3.org/2000/svg" width="{size}" height="{size}" '
            f'viewBox="0 0 {size} {size}">\n'
            + (f"<defs>{defs}</defs>\n" if defs else "") + body + "</svg>\n")


def yellow_gradients(prefix="y"):
    return (f'<linearGradient id="{prefix}body" x1="0" y1="0" x2="1" y2="0">'
            f'<stop offset="0" stop-color="{YELLOW["light"]}"/><stop offset="0.45" stop-color="{YELLOW["mid"]}"/>'
            f'<stop offset="1" stop-color="{YELLOW["dark"]}"/></linearGradient>')


def cylinder(cx, top, bottom, rx, ry, prefix="y", rings=2, width=1):
    left, right = cx - rx, cx + rx
    s = YELLOW["stroke"]
    out = (f'<path d="M{left},{top} V{bottom} A{rx},{ry} 0 0 0 {right},{bottom} V{top}" '
           f'fill="url(#{prefix}body)" stroke="{s}" stroke-width="{width}"/>\n')
    step = (bottom - top) / (rings + 1)
    for i in range(1, rings + 1):
        y = top + step * i
        out += (f'<path d="M{left},{y:g} A{rx},{ry} 0 0 0 {right},{y:g}" fill="none" stroke="{s}" '
                f'stroke-width="{width}" stroke-opacity="0.55"/>\n')
    out += (f'<ellipse cx="{cx}" cy="{top}" rx="{rx}" ry="{ry}" fill="{YELLOW["top"]}" stroke="{s}" '
            f'stroke-width="{width}"/>\n')
    return out


def halo_circle(cx=12.5, cy=12.5, r=3.5, colour=GREEN):
    return (f'<circle cx="{cx}" cy="{cy}" r="{r + 1}" fill="#ffffff"/>\n'
            f'<circle cx="{cx}" cy="{cy}" r="{r}" fill="{colour["fill"]}" stroke="{colour["stroke"]}"/>\n')


def white(d, width=1.25):
    return (f'<path d="{d}" fill="none" stroke="#ffffff" stroke-width="{width}" '
            f'stroke-linecap="round" stroke-linejoin="round"/>\n')


def db_action(badge):
    return svg(cylinder(7, 3.5, 12.5, 4.5, 2) + badge, yellow_gradients())


def play_badge():
    return ('<path d="M9.5,8 L15.5,12 L9.5,16 Z" fill="#ffffff"/>\n'
            f'<path d="M10.5,9.5 L14.5,12 L10.5,14.5 Z" fill="{GREEN["fill"]}" stroke="{GREEN["stroke"]}" '
            'stroke-linejoin="round"/>\n')


def sheet(lines):
    """A page of SQL text; lines are (y, x1, x2, style) with style text, dark or selected."""
    out = f'<path d="M1.5,1.5 H8.5 L11.5,4.5 V14.5 H1.5 Z" fill="#ffffff" stroke="{OUTLINE}"/>\n'
    out += f'<path d="M8.5,1.5 V4.5 H11.5" fill="#e8ebee" stroke="{OUTLINE}" stroke-linejoin="round"/>\n'
    for y, x1, x2, style in lines:
        if style == "selected":
            out += f'<rect x="{x1 - 0.5}" y="{y - 1}" width="{x2 - x1 + 1}" height="2" fill="{BLUE["fill"]}"/>\n'
            out += f'<path d="M{x1},{y} H{x2}" stroke="#ffffff" stroke-opacity="0.8"/>\n'
        elif style == "dark":
            out += f'<path d="M{x1},{y} H{x2}" stroke="#1f2328"/>\n'
        else:
            out += f'<path d="M{x1},{y} H{x2}" stroke="#a2abb3"/>\n'
    return out


def table(x, y, cols, rows, cw=4, rh=3, header=BLUE["fill"], extra=""):
    w, h = cols * cw, (rows + 1) * rh
    out = f'<rect x="{x}" y="{y}" width="{w}" height="{h}" fill="#ffffff"/>\n'
    out += f'<rect x="{x}" y="{y}" width="{w}" height="{rh}" fill="{header}"/>\n'
    out += extra
    grid = "".join(f"M{x + i * cw},{y} V{y + h} " for i in range(1, cols))
    grid += "".join(f"M{x},{y + j * rh} H{x + w} " for j in range(1, rows + 1))
    out += f'<path d="{grid.strip()}" fill="none" stroke="{OUTLINE}" stroke-opacity="0.6"/>\n'
    out += f'<rect x="{x}" y="{y}" width="{w}" height="{h}" fill="none" stroke="{OUTLINE}"/>\n'
    return out


TEXT = [(4.5, 3, 7, "text"), (6.5, 3, 9, "text"), (8.5, 3, 8, "text"), (10.5, 3, 9, "text"), (12.5, 3, 6, "text")]


def with_lines(changes):
    lines = list(TEXT)
    for index, style in changes.items():
        y, x1, x2, _ = lines[index]
        lines[index] = (y, x1, x2, style)
    return lines


ICONS = {
    # The image list of the main window, by index.
    "db-open": db_action(halo_circle(colour=BLUE) + white("M10.5,12.5 H14.25 M12.75,11 L14.25,12.5 L12.75,14")),
    "db-new": db_action(halo_circle() + white("M10.5,12.5 H14.5 M12.5,10.5 V14.5")),
    "db-remove": db_action(halo_circle(colour=RED) + white("M10.5,12.5 H14.5")),
    "sql-exec": svg(f'<path d="M3.5,1.5 L14,8 L3.5,14.5 Z" fill="{GREEN["fill"]}" stroke="{GREEN["stroke"]}" '
                    'stroke-linejoin="round"/>\n'
                    '<path d="M4.5,3.5 L11,7.5" stroke="#ffffff" stroke-opacity="0.45" stroke-linecap="round"/>\n'),
    "sql-exec-selected": svg(sheet(with_lines({1: "selected", 2: "selected"})) + play_badge()),
    "sql-exec-line": svg(sheet(with_lines({2: "dark"})) +
                         f'<path d="M0.5,7 L2,8.5 L0.5,10 Z" fill="{BLUE["fill"]}"/>\n' + play_badge()),
    "db-close": db_action(halo_circle(colour=RED) + white("M11,11 L14,14 M14,11 L11,14")),
    "db-properties": db_action(
        '<rect x="7.5" y="7.5" width="8" height="8" fill="#ffffff"/>\n'
        f'<rect x="8.5" y="8.5" width="6" height="7" fill="#ffffff" stroke="{OUTLINE}"/>\n'
        f'<path d="M10,10.5 H13 M10,12.5 H13 M10,14 H12" stroke="{BLUE["stroke"]}" stroke-width="0.9"/>\n'),
    "db-copy": svg(cylinder(6, 3, 9, 3.5, 1.5, rings=1) +
                   cylinder(10, 7.5, 13.5, 3.5, 1.5, rings=1), yellow_gradients()),
    "sql-cancel": svg(f'<path d="M5.5,1.5 H10.5 L14.5,5.5 V10.5 L10.5,14.5 H5.5 L1.5,10.5 V5.5 Z" '
                      f'fill="{RED["fill"]}" stroke="{RED["stroke"]}" stroke-linejoin="round"/>\n'
                      + white("M5.5,5.5 L10.5,10.5 M10.5,5.5 L5.5,10.5", 1.5)),
    "sql-exec-lines": svg(sheet(with_lines({1: "dark", 2: "dark", 3: "dark"})) +
                          f'<path d="M0.5,5.5 V11.5" stroke="{BLUE["fill"]}" stroke-width="1"/>\n' + play_badge()),
    "sql-table": svg(table(1.5, 1.5, 3, 3, cw=4, rh=3) + play_badge()),
    # The catalogue tree.
    "tree-database": svg(cylinder(8, 3.5, 12.5, 5.5, 2), yellow_gradients()),
    "tree-folder": svg(
        f'<path d="M1.5,2.5 H5.5 L7,4 H13.5 V13.5 H1.5 Z" fill="{YELLOW["dark"]}" stroke="{YELLOW["stroke"]}" '
        'stroke-linejoin="round"/>\n'
        f'<path d="M1.5,6.5 H14.5 L13.5,13.5 H1.5 Z" fill="url(#f)" stroke="{YELLOW["stroke"]}" '
        'stroke-linejoin="round"/>\n',
        '<linearGradient id="f" x1="0" y1="0" x2="0" y2="1">'
        f'<stop offset="0" stop-color="{YELLOW["light"]}"/><stop offset="1" stop-color="{YELLOW["mid"]}"/>'
        '</linearGradient>'),
    # The header bars of a workspace.
    "hdr-tables": svg(table(1.5, 2.5, 3, 3, cw=4.333, rh=2.75)),
    "hdr-fields": svg(
        f'<rect x="2.5" y="1.5" width="11" height="13" fill="#ffffff" stroke="{OUTLINE}"/>\n'
        f'<rect x="2.5" y="1.5" width="11" height="3" fill="{BLUE["fill"]}" stroke="{OUTLINE}"/>\n'
        + "".join(f'<rect x="4" y="{y}" width="2" height="2" fill="{BLUE["stroke"]}"/>\n'
                  f'<path d="M7,{y + 1.5} H12" stroke="#6e7781"/>\n' for y in (6, 9, 12))),
    "hdr-history": svg(
        f'<circle cx="8" cy="8" r="6.5" fill="#ffffff" stroke="{OUTLINE}"/>\n'
        f'<circle cx="8" cy="8" r="5" fill="none" stroke="{BLUE["light"]}"/>\n'
        f'<path d="M8,4 V8 H11" fill="none" stroke="{BLUE["stroke"]}" stroke-width="1.25" '
        'stroke-linecap="round" stroke-linejoin="round"/>\n'
        f'<circle cx="8" cy="8" r="0.9" fill="{BLUE["stroke"]}"/>\n'),
    "hdr-result": svg(table(1.5, 2.5, 3, 3, cw=4.333, rh=2.75, header="#c0c7ce",
                            extra=f'<rect x="1.5" y="8" width="13" height="2.75" fill="{BLUE["light"]}"/>\n'
                                  f'<rect x="1.5" y="2.5" width="3" height="11" fill="#dde1e5"/>\n')
                      + f'<path d="M2.5,8.25 L4,9.4 L2.5,10.5 Z" fill="#1f2328"/>\n'),
}


def program_icon():
    """The program's own icon on a 64 grid: a database with a result table in front of it."""
    defs = yellow_gradients("p") + (
        '<linearGradient id="card" x1="0" y1="0" x2="0" y2="1">'
        '<stop offset="0" stop-color="#ffffff"/><stop offset="1" stop-color="#eef1f4"/></linearGradient>')
    body = cylinder(25, 13, 47, 19, 7, prefix="p", rings=2, width=2.5)
    x, y, w, h, rh = 29, 29, 31, 29, 7
    body += f'<rect x="{x - 2}" y="{y - 2}" width="{w + 4}" height="{h + 4}" rx="4" fill="#ffffff"/>\n'
    body += f'<rect x="{x}" y="{y}" width="{w}" height="{h}" rx="2.5" fill="url(#card)" stroke="#1a5fb4" stroke-width="2"/>\n'
    body += f'<path d="M{x + 1},{y + rh} H{x + w - 1} V{y + 2.5} a1.5,1.5 0 0 0 -1.5,-1.5 H{x + 2.5} a1.5,1.5 0 0 0 -1.5,1.5 Z" fill="{BLUE["fill"]}"/>\n'
    grid = f"M{x + 10.5},{y + rh} V{y + h - 1} M{x + 20.5},{y + rh} V{y + h - 1} "
    grid += f"M{x + 1},{y + 14.5} H{x + w - 1} M{x + 1},{y + 21.5} H{x + w - 1}"
    body += f'<path d="{grid}" stroke="#1a5fb4" stroke-width="1.5" stroke-opacity="0.6"/>\n'
    return svg(body, defs, size=64)


def main():
    for name, text in ICONS.items():
        (HERE / f"{name}.svg").write_text(text)
    (HERE / "tabulo.svg").write_text(program_icon())


if __name__ == "__main__":
    main()
