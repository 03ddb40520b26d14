// Electron's main process for the electron acceptance check: one window with mirror_page.html,
// printing every title the page sets (the last one is the page's model of the text).
const { app, BrowserWindow } = require("electron");
const path = require("path");

app.whenReady().then(() => {
  const window = new BrowserWindow({ width: 600, height: 300 });
  window.on("page-title-updated", (_event, title) => console.log(title));
  window.loadFile(path.join(__dirname, "mirror_page.html"));
  app.focus({ steal: true });
});
