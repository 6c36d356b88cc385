// Loads a report page in headless Chromium (Debian's, driven by
// playwright-core) from the disk, as a reader opens it: every image must
// have loaded, every video must be playable, nothing may be fetched from
// the network and no console error may be raised. Takes a screenshot.
//   node check_page.mjs PAGE.html SCREENSHOT.png [VIDEOS]
// VIDEOS is the number of videos the page must hold (default 1).
// Prints one JSON line: {"images": n, "broken": [...], "videos": n,
// "unplayable": [...], "errors": [...], "requests": [...]}; exits 0 when the
// page passes, 1 otherwise.
import { chromium } from "playwright-core";
import { pathToFileURL } from "node:url";

const [page_, shot, videosWanted = "1"] = process.argv.slice(2);
const browser = await chromium.launch({
  executablePath: "/usr/bin/chromium",
  args: ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--autoplay-policy=no-user-gesture-required"],
});
const errors = [];
const requests = [];
const context = await browser.newContext({ viewport: { width: 1200, height: 900 } });
const page = await context.newPage();
page.on("console", (m) => { if (m.type() === "error") errors.push(m.text()); });
page.on("pageerror", (e) => errors.push(String(e)));
page.on("request", (r) => { if (!r.url().startsWith("file:")) requests.push(r.url()); });
await page.goto(pathToFileURL(page_).href, { waitUntil: "load" });
// Let every video load its first frame.
const result = await page.evaluate(async () => {
  const videos = [...document.querySelectorAll("video")];
  await Promise.all(videos.map((v) => new Promise((done) => {
    if (v.readyState >= 2) return done();
    v.addEventListener("loadeddata", done, { once: true });
    v.addEventListener("error", done, { once: true });
    setTimeout(done, 15000);
  })));
  const images = [...document.querySelectorAll("img")];
  return {
    images: images.length,
    broken: images.filter((i) => !(i.complete && i.naturalWidth > 0)).map((i) => i.getAttribute("src")),
    videos: videos.length,
    unplayable: videos.filter((v) => v.readyState < 2 || v.error).map((v) => v.currentSrc || "?"),
  };
});
await page.screenshot({ path: shot, fullPage: true });
await browser.close();
result.errors = errors;
result.requests = requests;
console.log(JSON.stringify(result));
const ok = result.images > 0 && result.broken.length === 0 &&
           result.videos === Number(videosWanted) &&
           result.unplayable.length === 0 && errors.length === 0 && requests.length === 0;
process.exit(ok ? 0 : 1);
