// Draws the plug-in's settings dialog from the server's description of it
// (controls in client pixels, curves with their frames and points) as SVG,
// and turns what the person does to it into the input a person's mouse
// and keyboard would give the dialog: presses, moves and releases outside
// the child controls become WM_LBUTTONDOWN / WM_MOUSEMOVE / WM_LBUTTONUP at
// the same client pixel; a click on a button is that button's click.
const SVG = "http://www.w3.org/2000/svg";
const WS_VISIBLE = 0x10000000;
const SS_TYPEMASK = 0x1f, SS_CENTER = 1, SS_RIGHT = 2, SS_GRAYFRAME = 8, SS_ETCHEDVERT = 0x11, SS_SUNKEN = 0x1000;
const LIST_ITEM_HEIGHT = 13;
const NAME_BOX = 1006, ADD_BUTTON = 325;
// Two presses within this time and distance make a double click.
const DOUBLE_CLICK_MS = 500, DOUBLE_CLICK_PIXELS = 4;

function el(name, attributes = {}, parent = null) {
  const node = document.createElementNS(SVG, name);
  for (const [k, v] of Object.entries(attributes)) node.setAttribute(k, v);
  if (parent) parent.appendChild(node);
  return node;
}

function bevel(group, [l, t, r, b], outer, inner) {
  // Two one-pixel edges: top-left and bottom-right colours, outer then inner.
  const edge = (inset, topLeft, bottomRight) => {
    el("path", { d: `M${l + inset} ${b - inset - 0.5}V${t + inset + 0.5}H${r - inset - 0.5}`, stroke: topLeft, fill: "none" }, group);
    el("path", { d: `M${l + inset + 0.5} ${b - inset - 0.5}H${r - inset - 0.5}V${t + inset + 0.5}`, stroke: bottomRight, fill: "none" }, group);
  };
  edge(0, outer[0], outer[1]);
  if (inner) edge(1, inner[0], inner[1]);
}

let clipCount = 0;

// Text clipped to its control's rectangle, as the window system draws it.
function label(group, text, [l, t, r, b], align, clip = [l, t, r, b]) {
  const clean = text.replace(/&(.)/g, "$1");
  const x = align === "center" ? (l + r) / 2 : align === "right" ? r : l;
  const id = `text-clip-${++clipCount}`;
  const clipPath = el("clipPath", { id }, group);
  el("rect", { x: clip[0], y: clip[1], width: clip[2] - clip[0], height: clip[3] - clip[1] }, clipPath);
  const node = el("text", { x, y: t + 9.5, "clip-path": `url(#${id})`,
    "text-anchor": align === "center" ? "middle" : align === "right" ? "end" : "start" }, group);
  node.textContent = clean;
  return node;
}

export class DialogView {
  // send(action) returns a promise; scale enlarges the dialog's pixels.
  constructor(svg, nameBox, send, scale = 2) {
    this.svg = svg;
    this.nameBox = nameBox;
    this.send = send;
    this.scale = scale;
    this.description = null;
    this.listScroll = 0;
    this.dragging = false;
    this.pressed = false;  // a button is down: the drawing under it must stay until released
    this.deferred = null;
    this.lastPress = { time: -1e9, x: -99, y: -99, index: -1 };
    svg.addEventListener("pointerdown", (e) => this.pointer(e, "down"));
    svg.addEventListener("pointermove", (e) => this.pointer(e, "move"));
    svg.addEventListener("pointerup", (e) => this.pointer(e, "up"));
    window.addEventListener("pointerup", () => {
      this.pressed = false;
      if (this.deferred) this.render(this.deferred);
    });
    svg.addEventListener("contextmenu", (e) => e.preventDefault());
    nameBox.addEventListener("input", () => this.send({ kind: "type", text: nameBox.value }, { coalesce: "type" }));
    // Enter in the name box adds the preset under the typed name: the
    // plug-in gives its name box no key of its own, and a person who types a
    // name and presses Enter means to keep it (the dialog's Enter would be
    // OK, which ends the dialog and stores nothing). Escape stays the
    // dialog's Cancel.
    nameBox.addEventListener("keydown", (e) => {
      if (e.key === "Enter") {
        e.preventDefault();
        this.send({ kind: "type", text: nameBox.value }, { coalesce: "type" });
        this.send({ kind: "click", id: ADD_BUTTON });
      } else if (e.key === "Escape") {
        this.send({ kind: "key", key: "escape" });
      }
    });
  }

  // The dialog pixel under a pointer event, as the dialog's client
  // coordinates count them.
  clientPoint(event) {
    const box = this.svg.getBoundingClientRect();
    return {
      x: Math.floor(((event.clientX - box.left) * this.description.width) / box.width),
      y: Math.floor(((event.clientY - box.top) * this.description.height) / box.height),
    };
  }

  pointer(event, phase) {
    if (!this.description || event.button > 0) return;
    const target = event.target.closest("[data-role]");
    const role = target ? target.dataset.role : "dialog";
    if (phase === "down" && role !== "dialog") {
      this.pressed = true;  // the control handles its own click
      return;
    }
    const { x, y } = this.clientPoint(event);
    if (phase === "down") {
      this.dragging = true;
      this.svg.setPointerCapture(event.pointerId);
      // The second press of a double click is WM_LBUTTONDBLCLK, as for a
      // window class that takes double clicks.
      const last = this.lastPress;
      const twice = event.timeStamp - last.time < DOUBLE_CLICK_MS && Math.abs(x - last.x) <= DOUBLE_CLICK_PIXELS &&
        Math.abs(y - last.y) <= DOUBLE_CLICK_PIXELS;
      this.lastPress = twice ? { time: -1e9, x: -99, y: -99 } : { time: event.timeStamp, x, y };
      this.send({ kind: "mouse", message: twice ? "doubleclick" : "down", x, y });
      event.preventDefault();
    } else if (phase === "move") {
      if (role !== "dialog" && !this.dragging) return;
      this.send({ kind: "mouse", message: "move", x, y }, { coalesce: "move" });
    } else if (this.dragging) {
      this.dragging = false;
      this.svg.releasePointerCapture(event.pointerId);
      this.send({ kind: "mouse", message: "up", x, y });
    }
  }

  render(description) {
    if (this.pressed && this.description) {
      this.deferred = description;
      return;
    }
    this.deferred = null;
    this.description = description;
    const { width, height } = description;
    const svg = this.svg;
    svg.setAttribute("viewBox", `0 0 ${width} ${height}`);
    svg.setAttribute("width", width * this.scale);
    svg.setAttribute("height", height * this.scale);
    svg.replaceChildren();
    clipCount = 0;
    el("rect", { x: 0, y: 0, width, height, fill: "#d4d0c8" }, svg);
    for (const control of description.controls) {
      if (!(control.style & WS_VISIBLE)) continue;
      this.drawControl(control);
    }
    for (const curve of description.curves) this.drawCurve(curve);
  }

  drawControl(control) {
    const [l, t, r, b] = control.rect;
    const g = el("g", { "data-id": control.id }, this.svg);
    if (!control.enabled) g.classList.add("disabled");
    const type = control.style & SS_TYPEMASK;
    if (control.kind === "BUTTON") {
      g.dataset.role = "button";
      g.classList.add("button");
      el("rect", { class: "face", x: l, y: t, width: r - l, height: b - t, fill: "#d4d0c8" }, g);
      bevel(g, control.rect, ["#fff", "#404040"], ["#d4d0c8", "#808080"]);
      label(g, control.text, [l, (t + b) / 2 - 6.5, r, b], "center", control.rect);
      if (control.focused) el("rect", { class: "focus", x: l + 3.5, y: t + 3.5, width: r - l - 7, height: b - t - 7 }, g);
      g.addEventListener("click", () => this.send({ kind: "click", id: control.id }));
      g.setAttribute("aria-label", control.text.replace("&", ""));
    } else if (control.kind === "LISTBOX") {
      this.drawList(g, control);
    } else if (control.kind === "EDIT") {
      g.dataset.role = "edit";
      el("rect", { x: l, y: t, width: r - l, height: b - t, fill: "#fff" }, g);
      if (control.id === NAME_BOX) this.placeNameBox(control);
    } else if (type === SS_ETCHEDVERT) {
      el("line", { x1: l + 0.5, y1: t, x2: l + 0.5, y2: b, stroke: "#808080" }, g);
      el("line", { x1: l + 1.5, y1: t, x2: l + 1.5, y2: b, stroke: "#fff" }, g);
    } else if (type === SS_GRAYFRAME || (control.style & SS_SUNKEN)) {
      bevel(g, control.rect, ["#808080", "#fff"], ["#404040", "#d4d0c8"]);
    } else {
      label(g, control.text, control.rect, type === SS_CENTER ? "center" : type === SS_RIGHT ? "right" : "left");
    }
  }

  drawList(g, control) {
    const [l, t, r, b] = control.rect;
    g.dataset.role = "list";
    el("rect", { x: l, y: t, width: r - l, height: b - t, fill: "#fff" }, g);
    const clip = el("clipPath", { id: "list-clip" }, g);
    el("rect", { x: l + 2, y: t + 2, width: r - l - 4, height: b - t - 4 }, clip);
    const rows = el("g", { "clip-path": "url(#list-clip)" }, g);
    const visible = Math.floor((b - t - 4) / LIST_ITEM_HEIGHT);
    this.listScroll = Math.max(0, Math.min(this.listScroll, control.items.length - visible));
    control.items.forEach((text, index) => {
      const y = t + 2 + (index - this.listScroll) * LIST_ITEM_HEIGHT;
      if (y + LIST_ITEM_HEIGHT < t || y > b) return;
      const item = el("g", { class: "list-item", "data-index": index }, rows);
      if (index === control.selection) item.classList.add("selected");
      el("rect", { x: l + 2, y, width: r - l - 4, height: LIST_ITEM_HEIGHT, fill: "transparent" }, item);
      label(item, text, [l + 4, y + 1, r - 2, y + LIST_ITEM_HEIGHT], "left", [l + 2, y, r - 2, y + LIST_ITEM_HEIGHT]);
      item.addEventListener("click", (e) => {
        const last = this.lastPress;
        const twice = last.index === index && e.timeStamp - last.time < DOUBLE_CLICK_MS;
        this.lastPress = twice ? { time: -1e9, x: -99, y: -99, index: -1 } : { time: e.timeStamp, x: -99, y: -99, index };
        this.send({ kind: "select", index, double: twice });
      });
    });
    bevel(g, control.rect, ["#808080", "#fff"], ["#404040", "#d4d0c8"]);
    g.addEventListener("wheel", (e) => {
      this.listScroll += Math.sign(e.deltaY);
      this.render(this.description);
      e.preventDefault();
    }, { passive: false });
  }

  placeNameBox(control) {
    const [l, t, r, b] = control.rect;
    const s = this.scale;
    Object.assign(this.nameBox.style, {
      left: `${l * s}px`, top: `${t * s}px`, width: `${(r - l) * s}px`, height: `${(b - t) * s}px`,
      fontSize: `${10.5 * s}px`,
    });
    if (document.activeElement !== this.nameBox && this.nameBox.value !== control.text) this.nameBox.value = control.text;
  }

  // The curve as the host's editor places it: x from the area's left edge
  // to its right pixel, y from its bottom pixel up, handles 5 pixels wide.
  drawCurve(curve) {
    const [l, t, r, b] = curve.area;
    const [xMin, xMax, yMin, yMax] = curve.range;
    const px = (x) => l + ((x - xMin) * (r - l - 1)) / (xMax - xMin || 1);
    const py = (y) => b - 1 - ((y - yMin) * (b - t - 1)) / (yMax - yMin || 1);
    const g = el("g", { class: "curve", "data-curve": curve.index, "data-frame": curve.frame }, this.svg);
    el("rect", { x: l, y: t, width: r - l, height: b - t, fill: "#fff" }, g);
    for (let q = 1; q < 4; ++q) {
      const x = l + Math.floor(((r - l) * q) / 4) + 0.5, y = t + Math.floor(((b - t) * q) / 4) + 0.5;
      el("line", { class: "grid", x1: x, y1: t, x2: x, y2: b }, g);
      el("line", { class: "grid", x1: l, y1: y, x2: r, y2: y }, g);
    }
    const path = curve.points.map(([x, y], i) => `${i ? "L" : "M"}${px(x) + 0.5} ${py(y) + 0.5}`).join("");
    el("path", { class: "curve-line", d: path }, g);
    curve.points.forEach(([x, y], i) => {
      const handle = el("rect", { class: "handle", x: px(x) - 2, y: py(y) - 2, width: 5, height: 5 }, g);
      if (i === curve.grabbed) handle.classList.add("grabbed");
    });
  }
}
