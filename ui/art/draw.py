# Draws the list icons and the button glyphs as 16x16 XPM pixel art.
import string
W = H = 16
class Canvas:
    def __init__(self, bg):
        self.p = [[bg]*W for _ in range(H)]
    def set(self, x, y, c):
        if 0 <= x < W and 0 <= y < H: self.p[y][x] = c
    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1+1):
            for x in range(x0, x1+1): self.set(x, y, c)
    def hline(self, x0, x1, y, c): self.rect(x0, y, x1, y, c)
    def vline(self, x, y0, y1, c): self.rect(x, y0, x, y1, c)
    def xpm(self, name):
        colors = sorted({c for row in self.p for c in row})
        keys = string.ascii_letters + string.digits + '#$%&*+-=@'
        key = {c: (' ' if c == 'None' else keys[i]) for i, c in enumerate(colors)}
        out = ['/* XPM */', f'static const char* const {name}[] = {{', f'    "{W} {H} {len(colors)} 1",']
        for c in colors: out.append(f'    "{key[c]} c {c}",')
        for row in self.p: out.append('    "' + ''.join(key[c] for c in row) + '",')
        out[-1] = out[-1].rstrip(',')
        out.append('};')
        return '\n'.join(out) + '\n'

def lerp(a, b, t):
    a = [int(a[i:i+2], 16) for i in (1, 3, 5)]; b = [int(b[i:i+2], 16) for i in (1, 3, 5)]
    return '#' + ''.join('%02X' % round(a[i] + (b[i]-a[i])*t) for i in range(3))

icons, glyphs = {}, {}

# .txd: a framed landscape
c = Canvas('None')
for y in range(1, 12):
    c.rect(2, y, 14, y, lerp('#1040A0', '#A0C8F8', (y-1)/9))
c.rect(3, 2, 4, 3, '#FFE000'); c.set(5, 3, '#FFF080'); c.set(3, 4, '#FFF080')
for y in range(6, 11):
    c.rect(14 - (y-5)*2, y, 14, y, '#80E070')
c.rect(2, 10, 14, 11, '#0010A0'); c.hline(2, 14, 10, '#2040C0')
c.hline(1, 15, 0, '#C8C8C8'); c.vline(1, 0, 12, '#C8C8C8')
c.vline(15, 0, 12, '#000000'); c.hline(1, 15, 12, '#000000')
icons['txd_xpm'] = c

# .dff: a blue triangle, bright on the left, navy on the right
c = Canvas('None')
for x in range(16):
    top = round(8 - x*8/15); bottom = round(8 + x*7/15)
    c.vline(x, top, bottom, lerp('#3070FF', '#000060', x/15))
icons['dff_xpm'] = c

# .col: a page with a folded corner and a speckled lower part
c = Canvas('None')
c.rect(2, 0, 13, 15, '#E4E4E4')
for y in range(5, 15):
    for x in range(3, 13):
        c.set(x, y, '#B8B8F0' if (x*3 + y*5) % 4 else '#8C8CD8')
c.hline(2, 10, 0, '#808080'); c.vline(2, 0, 15, '#808080')
c.hline(2, 13, 15, '#404040'); c.vline(13, 4, 15, '#800080')
for i in range(4):
    c.hline(13 - 3 + i, 13, i, 'None')
    c.hline(10, 10 + i, i, '#404040')
icons['col_xpm'] = c

# .ifp: a pale green play triangle with a dark green outline
c = Canvas('None')
for x in range(4, 13):
    h = 6.5 * (12 - x) / 8
    top, bottom = round(7.5 - h), round(7.5 + h)
    c.vline(x, top, bottom, '#B0F0A0')
    c.set(x, top, '#006000'); c.set(x, bottom, '#006000')
c.vline(4, 1, 14, '#006000')
icons['ifp_xpm'] = c

M = '#FF00FF'
def folder(c, open_=False):
    c.rect(1, 4, 5, 4, '#C09000'); c.rect(1, 5, 12, 13, '#F0C020')
    c.hline(1, 12, 13, '#806000'); c.vline(12, 5, 13, '#806000'); c.vline(1, 4, 13, '#A07800')
    if open_:
        for y in range(8, 14):
            c.hline(3 + (13 - y) // 2, 14 - (13 - y) // 2 + (13 - y) // 2, y, '#FFE070')
        c.hline(3, 15, 8, '#A07800'); c.set(15, 8, '#806000')
        for y in range(8, 14): c.set(14 - (13 - y) // 3, y, '#806000')
def sheet(c):
    c.rect(5, 1, 10, 9, '#FFFFFF'); c.hline(5, 10, 1, '#808080'); c.vline(10, 1, 9, '#808080'); c.vline(5, 1, 9, '#808080')
    for y in (3, 5, 7): c.hline(6, 9, y, '#A0A0A0')

c = Canvas(M); folder(c, True); glyphs['open_glyph'] = c

c = Canvas(M)
for (x, y, dx, dy) in ((1, 1, 1, 1), (14, 1, -1, 1), (1, 14, 1, -1), (14, 14, -1, -1)):
    for i in range(5): c.set(x + dx*i, y + dy*i, '#000080')
    c.hline(min(x + dx*4, x + dx*2), max(x + dx*4, x + dx*2), y + dy*4, '#000080')
    c.vline(x + dx*4, min(y + dy*2, y + dy*4), max(y + dy*2, y + dy*4), '#000080')
glyphs['compress_glyph'] = c

def arrow_right(c, x, y, color, length=6):
    c.hline(x, x + length - 1, y, color); c.hline(x, x + length - 1, y + 1, color)
    for i in range(3): c.vline(x + length - 3 + i, y - 2 + i, y + 3 - i, color)
def arrow_left(c, x, y, color, length=6):
    c.hline(x, x + length - 1, y, color); c.hline(x, x + length - 1, y + 1, color)
    for i in range(3): c.vline(x + 2 - i, y - 2 + i, y + 3 - i, color)

c = Canvas(M); folder(c); sheet(c); arrow_right(c, 9, 10, '#FF8000'); glyphs['replace_glyph'] = c
c = Canvas(M); folder(c); sheet(c); arrow_right(c, 10, 10, '#E00000'); glyphs['export_glyph'] = c
c = Canvas(M); folder(c); sheet(c); c.rect(8, 10, 15, 12, '#E00000'); glyphs['delete_glyph'] = c
c = Canvas(M); folder(c); sheet(c); arrow_left(c, 9, 10, '#0040FF'); glyphs['import_glyph'] = c
# The bottom-left pixel names the transparent colour; keep it magenta.
for g in glyphs.values(): g.set(0, 15, M)

for name, c in {**icons, **glyphs}.items():
    open(name.replace('_xpm', '') + ('.xpm' if name.endswith('_xpm') else '.xpm'), 'w').write(c.xpm(name))
