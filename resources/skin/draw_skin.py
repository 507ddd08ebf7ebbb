#!/usr/bin/python3
"""Draws the update window's skin: every bitmap as a 24-bit BMP and every icon as a .ico.

    draw_skin.py [--out DIR] [--sheet PNG]

Writes into the folder of this script unless --out names another one; --sheet also writes a
contact sheet (every picture at 3x, plus the assembled window) for a look at the whole set.
The output depends only on this file, Pillow and the Nanum fonts, so a second run gives the same
bytes. Uses Debian's python3-pil (hence /usr/bin/python3) and fonts-nanum.
"""

import argparse
import os
import struct

from PIL import Image, ImageDraw, ImageFont

FONT_DIR = "/usr/share/fonts/truetype/nanum"
SS = 4  # supersampling factor for shapes with rounded or slanted edges

# Window geometry in pixels: the dialog's controls at 7 x 12 dialog base units ("굴림" 9 pt).
WINDOW = (500, 409)
TITLE_BAND_HEIGHT = 24
LIST_RECT = (12, 93, 236, 237)        # control 1001 (left, top, right, bottom; right/bottom exclusive)
NOTICE_RECT = (243, 93, 486, 237)     # control 1019
PROGRESS_RECT = (21, 255, 485, 272)   # control 1009, including its one-pixel border
STATUS_RECT = (18, 285, 237, 303)     # control 1013
COUNTER_RECT = (443, 288, 478, 300)   # control 1014
START_RECT = (207, 309, 291, 333)     # control 1002
CLOSE_RECT = (466, -2, 489, 19)       # control 1017
BANNER_RECT = (10, 339, 490, 399)     # banner page, 480 x 60 at client bottom - 70


def around(rect, n=1):
    return (rect[0] - n, rect[1] - n, rect[2] + n, rect[3] + n)


# Panels drawn into the background: a one-pixel frame just outside each control.
LIST_PANEL = around(LIST_RECT)
NOTICE_PANEL = around(NOTICE_RECT)
PROGRESS_PANEL = (10, 247, 490, 304)
COUNTER_SPOT = (440, 287, 481, 301)
BANNER_FRAME = around(BANNER_RECT)
PROGRESS_IMAGE_AT = (PROGRESS_RECT[0] + 1, PROGRESS_RECT[1] + 1)  # client origin of the bar

MAGENTA = (255, 0, 255)
BAND_TOP = (56, 121, 209)
BAND_BOTTOM = (31, 84, 165)
BAND_EDGE = (24, 66, 133)
BODY = (237, 241, 246)
HEADER = (255, 255, 255)
HAIRLINE = (212, 220, 231)
PANEL = (255, 255, 255)
PANEL_FRAME = (186, 198, 214)
PANEL_SHADOW = (223, 229, 237)
WINDOW_FRAME_BAND = (22, 60, 122)
WINDOW_FRAME_BODY = (122, 140, 166)
TEXT = (33, 42, 56)
TEXT_MUTED = (96, 108, 125)
ACCENT = (45, 107, 199)
ORANGE_LIGHT = (255, 183, 77)
ORANGE = (244, 138, 22)
ORANGE_DARK = (214, 110, 8)
BANNER_FILL = (232, 236, 242)


def font(size, bold=False):
    name = "NanumGothicBold.ttf" if bold else "NanumGothic.ttf"
    return ImageFont.truetype(os.path.join(FONT_DIR, name), size,
                              layout_engine=ImageFont.Layout.BASIC)


def mix(a, b, t):
    """a blended toward b by t (0..1)."""
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def vertical_gradient(size, top, bottom):
    w, h = size
    img = Image.new("RGB", size)
    d = ImageDraw.Draw(img)
    for y in range(h):
        d.line([(0, y), (w - 1, y)], fill=mix(top, bottom, y / max(h - 1, 1)))
    return img


def coverage(size, paint):
    """Anti-aliased mask: paint(draw, s) draws in white at s times the size."""
    w, h = size
    big = Image.new("L", (w * SS, h * SS), 0)
    paint(ImageDraw.Draw(big), SS)
    return big.resize(size, Image.BOX)


def rounded_mask(size, box, radius):
    """Coverage of a rounded rectangle; box = (left, top, right, bottom), right/bottom exclusive."""
    x0, y0, x1, y1 = box

    def paint(d, s):
        d.rounded_rectangle((x0 * s, y0 * s, x1 * s - 1, y1 * s - 1), radius=radius * s, fill=255)
    return coverage(size, paint)


def fill_rounded(img, box, radius, fill):
    """Paints a rounded rectangle (colour or image of the box's size) with soft edges."""
    x0, y0, x1, y1 = box
    w, h = x1 - x0, y1 - y0
    mask = rounded_mask((w, h), (0, 0, w, h), radius)
    img.paste(fill, (x0, y0, x1, y1), mask)


def framed_rounded(img, box, radius, frame, fill):
    x0, y0, x1, y1 = box
    fill_rounded(img, box, radius, frame)
    if not isinstance(fill, tuple):
        fill = fill.crop((1, 1, fill.width - 1, fill.height - 1))
    fill_rounded(img, (x0 + 1, y0 + 1, x1 - 1, y1 - 1), max(radius - 1, 0), fill)


def text_at(draw, xy, text, fnt, fill):
    """Text whose ink box starts at xy (left, top)."""
    l, t, _, _ = fnt.getbbox(text)
    draw.text((xy[0] - l, xy[1] - t), text, font=fnt, fill=fill)


def text_centred(draw, box, text, fnt, fill, nudge=(0, 0)):
    """Text whose ink box is centred in box (left, top, right, bottom; exclusive)."""
    l, t, r, b = fnt.getbbox(text)
    x = (box[0] + box[2] - (r - l)) // 2 - l + nudge[0]
    y = (box[1] + box[3] - (b - t)) // 2 - t + nudge[1]
    draw.text((x, y), text, font=fnt, fill=fill)


def text_left_middle(draw, x, y_middle, text, fnt, fill):
    l, t, _, b = fnt.getbbox(text)
    draw.text((x - l, y_middle - (b - t) // 2 - t), text, font=fnt, fill=fill)


def frame_panel(img, box, frame, fill, shadow=None):
    """One-pixel frame with softened corners; box is the frame's outer rectangle (exclusive)."""
    x0, y0, x1, y1 = box
    d = ImageDraw.Draw(img)
    d.rectangle((x0, y0, x1 - 1, y1 - 1), fill=fill, outline=frame)
    outside = [img.getpixel((x0 - 1, y0)), img.getpixel((x1, y0)),
               img.getpixel((x0 - 1, y1 - 1)), img.getpixel((x1, y1 - 1))]
    for (x, y), back in zip([(x0, y0), (x1 - 1, y0), (x0, y1 - 1), (x1 - 1, y1 - 1)], outside):
        img.putpixel((x, y), mix(frame, back, 0.55))
    if shadow:
        d.line([(x0 + 1, y1), (x1 - 2, y1)], fill=shadow)


# ---------------------------------------------------------------- icons (RGBA, hard silhouette)

def icon_canvas(size, paint):
    """Draws at SS x with paint(draw, u) where u is one unit of a 32-unit grid, then shrinks.

    Colours are averaged inside the shape; the silhouette is cut at half coverage so the icon
    looks the same with its alpha channel and with its one-bit mask (image lists built with
    ILC_MASK ignore alpha)."""
    big_size = size * SS
    big = Image.new("RGBA", (big_size, big_size), (0, 0, 0, 0))
    paint(ImageDraw.Draw(big), big_size / 32.0)
    px = big.load()
    out = Image.new("RGBA", (size, size), (0, 0, 0, 0))
    for y in range(size):
        for x in range(size):
            r = g = b = a = 0
            for yy in range(y * SS, y * SS + SS):
                for xx in range(x * SS, x * SS + SS):
                    pr, pg, pb, pa = px[xx, yy]
                    r += pr * pa
                    g += pg * pa
                    b += pb * pa
                    a += pa
            if a * 2 >= 255 * SS * SS:
                out.putpixel((x, y), (int(round(r / a)), int(round(g / a)), int(round(b / a)), 255))
    return out


def box_u(u, x0, y0, x1, y1):
    return (x0 * u, y0 * u, x1 * u - 1, y1 * u - 1)


def pts_u(u, points):
    return [(x * u, y * u) for x, y in points]


def paint_app_icon(d, u):
    # Orange tile with a white arrow coming down onto a tray: "get the new version".
    d.rounded_rectangle(box_u(u, 1, 1, 31, 31), radius=7 * u, fill=ORANGE_DARK)
    d.rounded_rectangle(box_u(u, 2, 2, 30, 30), radius=6 * u, fill=ORANGE)
    d.rounded_rectangle(box_u(u, 2, 2, 30, 16), radius=6 * u, fill=(248, 156, 44))
    d.rectangle(box_u(u, 13, 6, 19, 16), fill=(255, 255, 255))
    d.polygon(pts_u(u, [(8, 15), (24, 15), (16, 23.5)]), fill=(255, 255, 255))
    d.rounded_rectangle(box_u(u, 7, 23.5, 25, 27), radius=1.5 * u, fill=(255, 255, 255))


def paint_program_icon(d, u):
    # A program window: blue title strip, white body with lines.
    d.rounded_rectangle(box_u(u, 2, 4, 30, 28), radius=3 * u, fill=(40, 92, 170))
    d.rounded_rectangle(box_u(u, 4, 10, 28, 26), radius=1 * u, fill=(255, 255, 255))
    d.rectangle(box_u(u, 22, 6, 26, 8), fill=(255, 255, 255))
    d.rectangle(box_u(u, 7, 14, 25, 16), fill=(150, 170, 196))
    d.rectangle(box_u(u, 7, 19, 20, 21), fill=(190, 203, 220))


def paint_filter_icon(d, u):
    # A funnel.
    d.polygon(pts_u(u, [(3, 4), (29, 4), (19, 16), (19, 26), (13, 30), (13, 16)]), fill=(18, 124, 110))
    d.polygon(pts_u(u, [(6, 6.5), (26, 6.5), (17, 17), (17, 25.5), (15, 27), (15, 17)]),
              fill=(38, 170, 150))
    d.polygon(pts_u(u, [(6, 6.5), (26, 6.5), (23.5, 9.5), (8.5, 9.5)]), fill=(140, 222, 206))


def paint_server_icon(d, u):
    # Two stacked server units with lamps.
    for top in (4, 17):
        d.rounded_rectangle(box_u(u, 3, top, 29, top + 11), radius=2 * u, fill=(70, 84, 104))
        d.rounded_rectangle(box_u(u, 5, top + 2, 27, top + 9), radius=1 * u, fill=(104, 121, 145))
        d.rectangle(box_u(u, 8, top + 4.5, 17, top + 6.5), fill=(48, 60, 78))
        d.ellipse(box_u(u, 20, top + 3.5, 24, top + 7.5), fill=(92, 214, 112))


def paint_spare_icon(d, u):
    # A parcel: a box with a band of tape.
    d.polygon(pts_u(u, [(3, 9), (16, 3), (29, 9), (29, 24), (16, 30), (3, 24)]), fill=(158, 104, 44))
    d.polygon(pts_u(u, [(4.5, 10), (16, 16), (16, 28), (4.5, 23)]), fill=(222, 168, 96))
    d.polygon(pts_u(u, [(27.5, 10), (16, 16), (16, 28), (27.5, 23)]), fill=(200, 144, 72))
    d.polygon(pts_u(u, [(4.5, 9), (16, 4.5), (27.5, 9), (16, 14.5)]), fill=(238, 196, 130))
    d.polygon(pts_u(u, [(9, 7), (13, 5.3), (24.5, 10.8), (20.5, 12.5)]), fill=(250, 232, 196))


def icon_images(paint, with_row_cell=False):
    small, large = icon_canvas(16, paint), icon_canvas(32, paint)
    images = [small, large]
    if with_row_cell:
        # The list's image list has 16 x 23 cells; this entry lets it take the picture unscaled.
        cell = Image.new("RGBA", (16, 23), (0, 0, 0, 0))
        cell.paste(small, (0, 4))
        images.append(cell)
    return images


# ---------------------------------------------------------------- bitmaps

def start_face(size, caption, look, state):
    w, h = size
    colours = {
        ("update", "normal"): ((82, 145, 232), (43, 104, 200), (30, 80, 160), (255, 255, 255)),
        ("update", "hover"): ((104, 163, 242), (58, 122, 216), (36, 92, 176), (255, 255, 255)),
        ("update", "pressed"): ((40, 96, 184), (56, 116, 206), (24, 68, 140), (236, 242, 252)),
        ("close", "normal"): ((255, 255, 255), (229, 234, 241), (156, 170, 189), (44, 54, 70)),
        ("close", "hover"): ((255, 255, 255), (218, 232, 250), (98, 142, 205), (28, 70, 140)),
        ("close", "pressed"): ((214, 222, 233), (232, 237, 243), (128, 144, 166), (44, 54, 70)),
    }
    top, bottom, frame, ink = colours[(look, state)]
    img = Image.new("RGB", size, BODY)
    framed_rounded(img, (0, 0, w, h), 4, frame, vertical_gradient(size, top, bottom))
    d = ImageDraw.Draw(img)
    if state != "pressed":
        d.line([(3, 1), (w - 4, 1)], fill=mix(top, (255, 255, 255), 0.45))
    nudge = (1, 1) if state == "pressed" else (0, 0)
    fnt = font(12, bold=True)
    if look == "update":
        text_centred(d, (0, 1, w, h + 1), caption, fnt, mix(frame, bottom, 0.3), nudge)
    text_centred(d, (0, 0, w, h), caption, fnt, ink, nudge)
    return img


def band_colour(y):
    y = max(0, min(TITLE_BAND_HEIGHT - 2, y))
    return mix(BAND_TOP, BAND_BOTTOM, y / (TITLE_BAND_HEIGHT - 2))


def close_face(state):
    # Sits on the title band at the window-close button's place.
    img = Image.new("RGB", (13, 13))
    for y in range(13):
        for x in range(13):
            img.putpixel((x, y), band_colour(CLOSE_RECT[1] + y))
    if state != "normal":
        fill = (226, 72, 62) if state == "hover" else (176, 48, 40)
        fill_rounded(img, (0, 0, 13, 13), 3, fill)
    off = 1 if state == "pressed" else 0

    def cross(d, s):
        a, b = (3.5 + off) * s, (9.5 + off) * s
        d.line([(a, a), (b, b)], fill=255, width=int(1.6 * s))
        d.line([(a, b), (b, a)], fill=255, width=int(1.6 * s))
    ink = (255, 255, 255) if state != "normal" else (232, 240, 252)
    img.paste(ink, (0, 0), coverage((13, 13), cross))
    return img


def row_box(kind):
    # Lies on the list's white rows.
    frame = {"empty": (130, 146, 168), "checked": (130, 146, 168), "locked": (180, 189, 201)}[kind]
    inside = (255, 255, 255) if kind != "locked" else (238, 241, 245)
    img = Image.new("RGB", (13, 13), (255, 255, 255))
    framed_rounded(img, (0, 0, 13, 13), 2, frame,
                   vertical_gradient((13, 13), inside, mix(inside, (226, 232, 240), 0.6)))
    if kind != "empty":
        ink = (214, 40, 34) if kind == "checked" else (150, 158, 170)

        def tick(d, s):
            d.line([(2.6 * s, 6.4 * s), (5.2 * s, 9.2 * s), (10.4 * s, 3.2 * s)],
                   fill=255, width=int(2.1 * s), joint="curve")
        img.paste(ink, (0, 0), coverage((13, 13), tick))
    return img


def progress_background():
    # Frame, then one pixel of space around the row of blocks (they start two pixels in).
    w, h = 459, 14
    frame = (170, 182, 198)
    img = Image.new("RGB", (w, h), (246, 248, 251))
    d = ImageDraw.Draw(img)
    d.rectangle((0, 0, w - 1, h - 1), outline=frame)
    d.line([(1, 1), (w - 2, 1)], fill=(234, 238, 243))
    for x, y in [(0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)]:
        img.putpixel((x, y), mix(frame, PANEL, 0.55))
    return img


def progress_block():
    img = vertical_gradient((5, 10), ORANGE_LIGHT, ORANGE)
    d = ImageDraw.Draw(img)
    d.line([(0, 0), (0, 9)], fill=mix(ORANGE_DARK, ORANGE_LIGHT, 0.35))
    d.line([(4, 0), (4, 9)], fill=ORANGE_DARK)
    d.line([(0, 9), (4, 9)], fill=ORANGE_DARK)
    d.line([(1, 0), (3, 0)], fill=(255, 214, 150))
    return img


SCROLL_TRACK = (241, 244, 248)
SCROLL_TRACK_EDGE = (222, 228, 236)
SCROLL_BUTTON = (228, 234, 242)
SCROLL_BUTTON_FRAME = (196, 206, 220)
SCROLL_GLYPH = (90, 108, 132)
SCROLL_THUMB = (182, 196, 214)
SCROLL_THUMB_FRAME = (150, 166, 188)


def scroll_square_arrow(direction):
    s = 17
    img = scroll_square_track(direction in ("up", "down"))
    framed_rounded(img, (1, 1, s - 1, s - 1), 3, SCROLL_BUTTON_FRAME,
                   vertical_gradient((s - 2, s - 2), (246, 249, 252), SCROLL_BUTTON))
    tri = {"up": [(5, 10.5), (12, 10.5), (8.5, 6)], "down": [(5, 6.5), (12, 6.5), (8.5, 11)],
           "left": [(10.5, 5), (10.5, 12), (6, 8.5)], "right": [(6.5, 5), (6.5, 12), (11, 8.5)]}[direction]

    def glyph(d, k):
        d.polygon([(x * k, y * k) for x, y in tri], fill=255)
    img.paste(SCROLL_GLYPH, (0, 0), coverage((s, s), glyph))
    return img


def scroll_square_track(vertical):
    # Uniform along the bar so it tiles; a faint line on the side facing the text.
    s = 17
    img = Image.new("RGB", (s, s), SCROLL_TRACK)
    d = ImageDraw.Draw(img)
    if vertical:
        d.line([(0, 0), (0, s - 1)], fill=SCROLL_TRACK_EDGE)
    else:
        d.line([(0, 0), (s - 1, 0)], fill=SCROLL_TRACK_EDGE)
    return img


def scroll_square_corner():
    # Between the two bars: continues both tracks' edge lines.
    img = scroll_square_track(True)
    ImageDraw.Draw(img).line([(0, 0), (16, 0)], fill=SCROLL_TRACK_EDGE)
    return img


def scroll_square_thumb(vertical):
    # Rounded ends inside the first and last three pixels; the middle rows tile.
    s = 17
    img = scroll_square_track(vertical)
    if not vertical:
        img = img.transpose(Image.Transpose.TRANSPOSE)
    across = (4, 13)  # columns of the thumb across a vertical bar
    # Middle rows: a frame on the two long sides only.
    mid = Image.new("RGB", (s, s))
    mid.paste(img)
    mdr = ImageDraw.Draw(mid)
    mdr.rectangle((across[0], 0, across[1] - 1, s - 1), fill=SCROLL_THUMB)
    mdr.line([(across[0], 0), (across[0], s - 1)], fill=SCROLL_THUMB_FRAME)
    mdr.line([(across[1] - 1, 0), (across[1] - 1, s - 1)], fill=SCROLL_THUMB_FRAME)
    mdr.line([(across[0] + 1, 0), (across[0] + 1, s - 1)], fill=mix(SCROLL_THUMB, (255, 255, 255), 0.35))
    # Ends: a rounded cap of three rows at the top and the bottom.
    cap = img.copy()
    w = across[1] - across[0]
    framed_rounded(cap, (across[0], 0, across[1], 6), 3, SCROLL_THUMB_FRAME,
                   vertical_gradient((w, 6), mix(SCROLL_THUMB, (255, 255, 255), 0.2), SCROLL_THUMB))
    out = mid.copy()
    out.paste(cap.crop((0, 0, s, 3)), (0, 0))
    out.paste(cap.crop((0, 3, s, 6)), (0, s - 3))
    if not vertical:
        out = out.transpose(Image.Transpose.TRANSPOSE)
    return out


def scroll_skin():
    squares = [
        scroll_square_arrow("up"), scroll_square_arrow("down"),
        scroll_square_thumb(True), scroll_square_track(True),
        scroll_square_arrow("left"), scroll_square_arrow("right"),
        scroll_square_thumb(False), scroll_square_track(False),
        scroll_square_corner(),
    ]
    img = Image.new("RGB", (153, 17))
    for i, sq in enumerate(squares):
        img.paste(sq, (i * 17, 0))
    return img


def window_shape():
    """Which pixels belong to the window (rounded corners), and its one-pixel outline."""
    w, h = WINDOW
    cov = rounded_mask(WINDOW, (0, 0, w, h), 6)
    inside = [[cov.getpixel((x, y)) >= 100 for x in range(w)] for y in range(h)]

    def is_in(x, y):
        return 0 <= x < w and 0 <= y < h and inside[y][x]
    edge = set()
    for y in range(h):
        for x in range(w):
            if inside[y][x] and not all(is_in(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                edge.add((x, y))
    return inside, edge


def background(app_icon_small):
    w, h = WINDOW
    img = Image.new("RGB", WINDOW, BODY)
    d = ImageDraw.Draw(img)

    # Title band with the logo mark and the title; the window is dragged by this band.
    img.paste(vertical_gradient((w, TITLE_BAND_HEIGHT - 1), BAND_TOP, BAND_BOTTOM), (0, 0))
    d.line([(0, TITLE_BAND_HEIGHT - 1), (w - 1, TITLE_BAND_HEIGHT - 1)], fill=BAND_EDGE)
    d.line([(0, 1), (w - 1, 1)], fill=mix(BAND_TOP, (255, 255, 255), 0.18))
    img.paste(app_icon_small, (8, 4), app_icon_small)
    text_left_middle(d, 30, 12, "Talvo 업데이트", font(13, bold=True), (255, 255, 255))

    # Header with a short greeting.
    d.rectangle((0, TITLE_BAND_HEIGHT, w - 1, 66), fill=HEADER)
    d.line([(0, 67), (w - 1, 67)], fill=HAIRLINE)
    text_at(d, (18, 32), "새 버전이 준비되었습니다", font(13, bold=True), TEXT)
    text_at(d, (18, 50), "업데이트할 항목을 확인하고 업데이트 버튼을 눌러 주세요.", font(12), TEXT_MUTED)
    ring = (446, 29, 482, 65)
    fill_rounded(img, ring, 18, (232, 240, 251))

    def arrow(dd, s):
        x, y = ring[0], ring[1]
        dd.rectangle(((x + 15) * s, (y + 8) * s, (x + 21) * s - 1, (y + 19) * s - 1), fill=255)
        dd.polygon([((x + 10) * s, (y + 18) * s), ((x + 26) * s, (y + 18) * s), ((x + 18) * s, (y + 26) * s)], fill=255)
        dd.rectangle(((x + 9) * s, (y + 27) * s, (x + 27) * s - 1, (y + 29) * s - 1), fill=255)
    img.paste(ACCENT, (0, 0), coverage(WINDOW, arrow))

    # Section headings and the panels behind the list and the notice box.
    for x, title in ((LIST_PANEL[0] + 1, "업데이트 항목"), (NOTICE_PANEL[0] + 1, "공지사항")):
        d.rectangle((x, 76, x + 2, 86), fill=ACCENT)
        text_left_middle(d, x + 8, 81, title, font(12, bold=True), TEXT)
    frame_panel(img, LIST_PANEL, PANEL_FRAME, PANEL, PANEL_SHADOW)
    frame_panel(img, NOTICE_PANEL, PANEL_FRAME, PANEL, PANEL_SHADOW)

    # Progress area: bar, status line on the left, counter on the right.
    frame_panel(img, PROGRESS_PANEL, PANEL_FRAME, PANEL, PANEL_SHADOW)
    img.paste(progress_background(), PROGRESS_IMAGE_AT)
    framed_rounded(img, COUNTER_SPOT, 7, (198, 212, 232), (234, 241, 251))

    # Banner strip.
    frame_panel(img, BANNER_FRAME, PANEL_FRAME, BANNER_FILL)

    # Rounded outline; the desktop shows outside it.
    inside, edge = window_shape()
    for y in range(h):
        for x in range(w):
            if not inside[y][x]:
                img.putpixel((x, y), MAGENTA)
            elif (x, y) in edge:
                img.putpixel((x, y), WINDOW_FRAME_BAND if y < TITLE_BAND_HEIGHT else WINDOW_FRAME_BODY)
    return img


# ---------------------------------------------------------------- file formats

def bmp_bytes(img):
    """24-bit bottom-up BMP with a BITMAPINFOHEADER."""
    img = img.convert("RGB")
    w, h = img.size
    stride = (w * 3 + 3) & ~3
    px = img.load()
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray()
        for x in range(w):
            r, g, b = px[x, y]
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        rows.append(bytes(row))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


def ico_bytes(images):
    """.ico with one 32-bit entry (colour with alpha plus the one-bit mask) per image."""
    blobs = []
    for img in images:
        w, h = img.size
        px = img.load()
        colour = bytearray()
        mask = bytearray()
        mask_stride = ((w + 31) // 32) * 4
        for y in range(h - 1, -1, -1):
            bits = bytearray(mask_stride)
            for x in range(w):
                r, g, b, a = px[x, y]
                if a == 0:
                    r = g = b = 0
                    bits[x // 8] |= 0x80 >> (x % 8)
                colour += bytes((b, g, r, a))
            mask += bits
        info = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 32, 0, len(colour) + len(mask), 0, 0, 0, 0)
        blobs.append((w, h, info + bytes(colour) + bytes(mask)))
    out = bytearray(struct.pack("<HHH", 0, 1, len(blobs)))
    offset = 6 + 16 * len(blobs)
    for w, h, blob in blobs:
        out += struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    for _, _, blob in blobs:
        out += blob
    return bytes(out)


# ---------------------------------------------------------------- the set

def build():
    """Returns (bitmaps, icons): lists of (resource id, file name, picture(s), label)."""
    app_icon = icon_images(paint_app_icon)
    bitmaps = [
        (133, "background.bmp", background(app_icon[0]), "background"),
        (138, "start_update_normal.bmp", start_face((74, 20), "업데이트", "update", "normal"), "update normal"),
        (139, "start_update_pressed.bmp", start_face((74, 20), "업데이트", "update", "pressed"), "update pressed"),
        (140, "start_update_hover.bmp", start_face((74, 20), "업데이트", "update", "hover"), "update hover"),
        (141, "start_close_normal.bmp", start_face((79, 21), "닫기", "close", "normal"), "close normal"),
        (142, "start_close_pressed.bmp", start_face((79, 21), "닫기", "close", "pressed"), "close pressed"),
        (137, "start_close_hover.bmp", start_face((79, 21), "닫기", "close", "hover"), "close hover"),
        (153, "close_normal.bmp", close_face("normal"), "x normal"),
        (154, "close_pressed.bmp", close_face("pressed"), "x pressed"),
        (152, "close_hover.bmp", close_face("hover"), "x hover"),
        (134, "row_unchecked.bmp", row_box("empty"), "row off"),
        (135, "row_checked.bmp", row_box("checked"), "row on"),
        (136, "row_locked.bmp", row_box("locked"), "row locked"),
        (166, "progress_background.bmp", progress_background(), "progress"),
        (147, "progress_block.bmp", progress_block(), "block"),
        (172, "scroll_skin.bmp", scroll_skin(), "scroll skin"),
    ]
    icons = [
        (128, "talvoupdate.ico", app_icon, "application"),
        (131, "row_program.ico", icon_images(paint_program_icon, True), "program"),
        (132, "row_filter.ico", icon_images(paint_filter_icon, True), "filter data"),
        (129, "row_serverlist.ico", icon_images(paint_server_icon, True), "server list"),
        (130, "row_spare.ico", icon_images(paint_spare_icon, True), "spare"),
    ]
    return bitmaps, icons


def assembled_window(bitmaps, icons):
    """The window as it looks with its controls drawn from these pictures."""
    by_id = {rid: img for rid, _, img, _ in bitmaps}
    img = by_id[133].copy()
    d = ImageDraw.Draw(img)
    body = font(12)
    # List rows: image, label, check box (row height 24, check box 3 pixels below the row top).
    rows = [("Talvo Ver 3.42", 0, 135), ("로그인 엔진 Ver 1.0.3", 0, 136),
            ("검색어 필터 Ver 2008.11", 1, 134), ("서버 리스트 Ver 27", 2, 135)]
    row_icons = [icons[1][2], icons[2][2], icons[3][2]]
    lx, ly = LIST_RECT[0], LIST_RECT[1]
    for i, (label, image, box) in enumerate(rows):
        y = ly + i * 24
        cell = row_icons[image][2]
        img.paste(cell, (lx + 2, y), cell)
        text_left_middle(d, lx + 22, y + 12, label, body, TEXT)
        img.paste(by_id[box], (lx + 202, y + 3))
    # Notice box with its skinned scroll bars.
    nx0, ny0, nx1, ny1 = NOTICE_RECT
    for i, line in enumerate(["Talvo 3.42 업데이트 안내", "", "- 검색 속도가 빨라졌습니다.",
                              "- 서버 목록이 갱신되었습니다.", "- 로그인 오류를 고쳤습니다."]):
        if line:
            text_at(d, (nx0 + 6, ny0 + 4 + i * 16), line, body, TEXT)
    skin = by_id[172]
    sq = [skin.crop((i * 17, 0, i * 17 + 17, 17)) for i in range(9)]
    vx, hy = nx1 - 17, ny1 - 17
    for y in range(ny0, hy, 17):
        img.paste(sq[3].crop((0, 0, 17, min(17, hy - y))), (vx, y))
    for x in range(nx0, vx, 17):
        img.paste(sq[7].crop((0, 0, min(17, vx - x), 17)), (x, hy))
    img.paste(sq[0], (vx, ny0))
    img.paste(sq[1], (vx, hy - 17))
    thumb_top, thumb_len = ny0 + 17, 40
    img.paste(sq[2].crop((0, 0, 17, 3)), (vx, thumb_top))
    for y in range(thumb_top + 3, thumb_top + thumb_len - 3):
        img.paste(sq[2].crop((0, 8, 17, 9)), (vx, y))
    img.paste(sq[2].crop((0, 14, 17, 17)), (vx, thumb_top + thumb_len - 3))
    img.paste(sq[4], (nx0, hy))
    img.paste(sq[5], (vx - 17, hy))
    img.paste(sq[8], (vx, hy))
    # Progress at 57 %, status line, counter, start button.
    px, py = PROGRESS_IMAGE_AT
    n = int(450 * 0.57)
    for i in range(n // 6 + 1):
        img.paste(by_id[147], (px + 2 + i * 6, py + 2))
    text_centred(d, (px, py, PROGRESS_RECT[2] - 1, PROGRESS_RECT[3] - 1), "57%", body, (10, 36, 106))
    text_at(d, (STATUS_RECT[0], STATUS_RECT[1] + 1), "업데이트 파일을 다운로드 합니다.", body, TEXT)
    text_centred(d, COUNTER_RECT, "2/3", body, TEXT)
    img.paste(by_id[138], START_RECT[:2])
    return img


def contact_sheet(bitmaps, icons, path):
    zoom = 3
    label_font = font(13, bold=True)
    tiles = []
    for rid, name, img, label in bitmaps:
        tiles.append((f"{rid} {label} {img.width}x{img.height}", img.convert("RGBA")))
    for rid, name, imgs, label in icons:
        for im in imgs:
            tiles.append((f"{rid} {label} {im.width}x{im.height}", im))
    window = assembled_window(bitmaps, icons)
    margin, gap = 24, 18
    width = max(WINDOW[0] * zoom, window.width * 2) + 2 * margin
    # Lay the small pictures out in rows under the two large views.
    placed, x, y, row_h = [], margin, 0, 0
    for label, im in tiles[1:]:
        w = max(im.width * zoom, label_font.getbbox(label)[2])
        h = im.height * zoom + 22
        if x + w > width - margin:
            x, y, row_h = margin, y + row_h + gap, 0
        placed.append((x, y, label, im))
        x += w + gap
        row_h = max(row_h, h)
    smalls_h = y + row_h
    top_h = 30 + window.height * 2 + gap + 30 + WINDOW[1] * zoom + gap
    sheet = Image.new("RGB", (width, margin + top_h + smalls_h + margin), (96, 104, 116))
    d = ImageDraw.Draw(sheet)
    yy = margin
    d.text((margin, yy), "assembled window (2x)", font=label_font, fill=(255, 255, 255))
    yy += 22
    sheet.paste(window.resize((window.width * 2, window.height * 2), Image.NEAREST), (margin, yy))
    yy += window.height * 2 + gap
    d.text((margin, yy), tiles[0][0] + " (3x)", font=label_font, fill=(255, 255, 255))
    yy += 22
    big = tiles[0][1]
    sheet.paste(big.resize((big.width * zoom, big.height * zoom), Image.NEAREST), (margin, yy))
    yy += big.height * zoom + gap + 8
    checker = Image.new("RGB", (8, 8), (180, 186, 194))
    for x0, y0, label, im in placed:
        d.text((x0, yy + y0), label, font=label_font, fill=(255, 255, 255))
        zoomed = im.resize((im.width * zoom, im.height * zoom), Image.NEAREST)
        back = Image.new("RGB", zoomed.size, (212, 216, 222))
        for cy in range(0, zoomed.height, 16):
            for cx in range(0, zoomed.width, 16):
                if (cx // 8 + cy // 8) % 2 == 0:
                    back.paste(checker, (cx, cy))
        back.paste(zoomed, (0, 0), zoomed)
        sheet.paste(back, (x0, yy + y0 + 20))
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    sheet.save(path, optimize=False)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.dirname(os.path.abspath(__file__)),
                        help="folder for the .bmp and .ico files (default: beside this script)")
    parser.add_argument("--sheet", help="also write a PNG contact sheet of every picture here")
    args = parser.parse_args()
    bitmaps, icons = build()
    os.makedirs(args.out, exist_ok=True)
    for _, name, img, _ in bitmaps:
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(bmp_bytes(img))
    for _, name, imgs, _ in icons:
        with open(os.path.join(args.out, name), "wb") as f:
            f.write(ico_bytes(imgs))
    if args.sheet:
        contact_sheet(bitmaps, icons, args.sheet)


if __name__ == "__main__":
    main()
